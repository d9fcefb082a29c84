#include "convert/ConvertEngine.h"
#include <cstdio>
#include <cstring>
#include "app/Globals.h"
#include "convert/FormatTable.h"
#include "framework/File.h"
#include "framework/Gdi.h"
#include "framework/HostPath.h"
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "imaging/GifReader.h"
#include "imaging/GifWriter.h"
#include "imaging/IlutBridge.h"
#include "imaging/JpegFile.h"
#include "imaging/LibraryJpeg.h"

int g_nLastImageError = 0;

void ReportFailure(HWND owner, const char* what) {
    snprintf(g_szMessage, kPathSize, "Error: %s\n", what);
    MessageBoxA(owner, g_szMessage, "File Error!", MB_OK);
}

void EmptyExchange() {
    try {
        exchangeFile.SetLength(0);
        exchangeFile.SeekToBegin();
    } catch (CFileException) {
    }
}

namespace {

const UINT kCopyChunk = 4096;
const UINT kExchangeFlags =
    CFile::typeBinary | CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive;
// Host paths can be longer than the DOS form (the prefix's own folder).
const size_t kHostPathSize = 4 * kPathSize;

// The result of a library call: its queued error, or "could not open file" when it
// failed without queuing one (the library does that for a path it cannot open).
ILenum LibraryResult(bool ok) {
    ILenum error = ilGetError();
    if (!ok && error == IL_NO_ERROR)
        error = IL_COULD_NOT_OPEN_FILE;
    g_nLastImageError = (int)error;
    return error;
}

bool LoadWithLibrary(const char* path, ILenum type) {
    char host[kHostPathSize];
    if (!HostPathFor(path, host, sizeof host))
        return false;
    return type == IL_TYPE_UNKNOWN ? ilLoadImage(host) : ilLoad(type, host);
}

bool SameFile(const char* a, const char* b) {
    char fullA[MAX_PATH], fullB[MAX_PATH];
    if (!GetFullPathNameA(a, sizeof fullA, fullA, nullptr) ||
        !GetFullPathNameA(b, sizeof fullB, fullB, nullptr))
        return lstrcmpiA(a, b) == 0;
    return lstrcmpiA(fullA, fullB) == 0;
}

bool CopyBmpToExchange(const char* path) {
    CFile source;
    if (!source.Open(path, CFile::modeRead | CFile::typeBinary))
        return false;
    exchangeFile.SetLength(0);
    DWORD length = (DWORD)source.GetLength();
    BYTE chunk[kCopyChunk];
    for (DWORD copied = 0; copied < length;) {
        UINT count = source.Read(chunk, kCopyChunk);
        if (count == 0)
            break; // shorter than it said: whatever came is the image
        exchangeFile.Write(chunk, count);
        copied += count;
    }
    return true;
}

// A packed DIB at 8 bits with the screen palette, through a device bitmap: the way
// for images without a colour table, which ConvertDibDepth cannot reduce.
LPBITMAPINFOHEADER EightBitDibOfBitmap(HBITMAP bitmap) {
    g_hScreenPalette = MakeScreenPalette();
    LPBITMAPINFOHEADER dib = DibFromBitmapAtDepth(bitmap, 8, BI_RGB, g_hScreenPalette);
    if (g_hScreenPalette)
        DeleteObject(g_hScreenPalette);
    g_hScreenPalette = nullptr;
    return dib;
}

LPBITMAPINFOHEADER EightBitDibOf(const BITMAPINFOHEADER* dib) {
    if (LPBITMAPINFOHEADER reduced = ConvertDibDepth(dib, 8, BI_RGB))
        return reduced;
    HBITMAP bitmap = BitmapFromDib(dib, nullptr);
    if (!bitmap)
        return nullptr;
    LPBITMAPINFOHEADER reduced = EightBitDibOfBitmap(bitmap);
    DeleteObject(bitmap);
    return reduced;
}

bool DepthInRule(WORD depth, DeepeningRule rule) {
    return rule == kDeepenOnly8Bits ? depth == 8 : depth <= 8;
}

// Brings the staged BMP to the depth its writer wants: 8 bits uncompressed for our
// GIF writer, 24 bits for the library when the rule says so. False when the staged
// file is no BMP we can read.
bool AdjustStagedDepth(DeepeningRule rule) {
    BITMAPINFOHEADER info = {};
    exchangeFile.Seek(14, CFile::begin);
    UINT got = exchangeFile.Read(&info, sizeof info);
    exchangeFile.SeekToBegin();
    if (got != sizeof info)
        return false;

    bool gifTarget = IsGifName(g_szTargetPath);
    WORD depth = 0;
    if (gifTarget && (info.biBitCount != 8 || info.biCompression != BI_RGB))
        depth = 8;
    else if (!gifTarget && DepthInRule(info.biBitCount, rule))
        depth = 24;
    if (depth == 0)
        return true;

    LPBITMAPINFOHEADER dib = ReadBmpFromExchange();
    exchangeFile.SetLength(0);
    if (!dib)
        return false;
    LPBITMAPINFOHEADER changed = depth == 8 ? EightBitDibOf(dib) : ConvertDibDepth(dib, depth, BI_RGB);
    FreeDib(dib);
    if (!changed)
        return false;
    WriteBmpToExchange(changed);
    FreeDib(changed);
    exchangeFile.SeekToBegin();
    return true;
}

// Any other source for a GIF target: the library decodes it, and the pixels reach
// the exchange file as an 8-bit DIB with the screen palette.
bool StageThroughLibrary(HWND owner) {
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ILenum error = LibraryResult(LoadWithLibrary(g_szSourcePath, IL_TYPE_UNKNOWN));
    if (error != IL_NO_ERROR) {
        ReportImageError(owner, error);
        ilDeleteImages(1, &image);
        return false;
    }
    HBITMAP bitmap;
    {
        CClientDC dc(owner);
        bitmap = ilutConvertToHBitmap(dc);
    }
    ilDeleteImages(1, &image);
    LPBITMAPINFOHEADER dib = bitmap ? EightBitDibOfBitmap(bitmap) : nullptr;
    if (bitmap)
        DeleteObject(bitmap);
    if (!dib) {
        ReportFailure(owner, "the image could not be converted");
        return false;
    }
    exchangeFile.SetLength(0);
    WriteBmpToExchange(dib);
    FreeDib(dib);
    exchangeFile.SeekToBegin();
    return true;
}

// Our GIF writer ends the process when it cannot create its file: find out first.
bool TargetWritable() {
    HANDLE probe =
        CreateFileA(g_szTargetPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(probe);
    return true;
}

// JPEG targets go through our encoder: the library's always halves the chroma.
ILenum SaveJpegTarget() {
    const ILenum error =
        WriteJpegFromLibraryImage(g_szTargetPath, g_nJpegQuality) ? IL_NO_ERROR : IL_FILE_WRITE_ERROR;
    g_nLastImageError = (int)error;
    return error;
}

} // namespace

void ReportImageError(HWND owner, ILenum error) {
    const char* text = iluErrorString(error);
    snprintf(g_szMessage, kPathSize, "Error: %s\n", text ? text : "unknown error");
    MessageBoxA(owner, g_szMessage, "File Error!", MB_OK);
    while (ilGetError() != IL_NO_ERROR) {
    }
}

bool SameTypeSuffix() {
    size_t sourceLength = strlen(g_szSourcePath), targetLength = strlen(g_szTargetPath);
    if (sourceLength < 3 || targetLength < 3)
        return false;
    return lstrcmpiA(g_szSourcePath + sourceLength - 3, g_szTargetPath + targetLength - 3) == 0;
}

bool NeedsStaging() {
    return IsGifName(g_szSourcePath) || IsBmpName(g_szSourcePath) || IsGifName(g_szTargetPath);
}

bool StageSource(HWND owner, DeepeningRule rule) {
    if (!IsGifName(g_szSourcePath) && !IsBmpName(g_szSourcePath))
        return StageThroughLibrary(owner);

    bool read;
    try {
        if (IsGifName(g_szSourcePath)) {
            exchangeFile.SetLength(0);
            read = ReadGifToExchange(g_szSourcePath, 1) == 0;
        } else {
            read = CopyBmpToExchange(g_szSourcePath);
        }
        if (read && !AdjustStagedDepth(rule)) {
            EmptyExchange();
            g_nLastImageError = IL_INVALID_FILE_HEADER;
            ReportImageError(owner, IL_INVALID_FILE_HEADER);
            return false;
        }
    } catch (CFileException) {
        EmptyExchange();
        ReportFailure(owner, "the temporary file could not be written");
        return false;
    }
    if (!read) {
        EmptyExchange();
        g_nLastImageError = IL_COULD_NOT_OPEN_FILE;
        ReportImageError(owner, IL_COULD_NOT_OPEN_FILE);
        return false;
    }
    return true;
}

void ConvertFile(bool staged) {
    if (SameTypeSuffix()) {
        // The source is never written to, even when the target names it.
        if (!SameFile(g_szSourcePath, g_szTargetPath))
            CopyFileA(g_szSourcePath, g_szTargetPath, FALSE);
        if (staged)
            EmptyExchange();
        return;
    }

    if (staged && IsGifName(g_szTargetPath)) {
        if (TargetWritable()) {
            WriteGifFromExchange(g_szTargetPath);
        } else {
            g_nLastImageError = IL_COULD_NOT_OPEN_FILE;
            ReportImageError(nullptr, IL_COULD_NOT_OPEN_FILE);
        }
        EmptyExchange();
        return;
    }

    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    bool loaded;
    if (staged) {
        // The library opens the exchange file by name; ours must let go of it.
        exchangeFile.Close();
        loaded = LoadWithLibrary(g_szExchangePath, IL_BMP);
        exchangeFile.Open(g_szExchangePath, kExchangeFlags);
    } else {
        loaded = LoadWithLibrary(g_szSourcePath, IL_TYPE_UNKNOWN);
    }
    ILenum error = LibraryResult(loaded);
    if (error == IL_NO_ERROR && IsJpegName(g_szTargetPath)) {
        error = SaveJpegTarget();
    } else if (error == IL_NO_ERROR) {
        ilEnable(IL_FILE_OVERWRITE);
        char host[kHostPathSize];
        error = LibraryResult(HostPathFor(g_szTargetPath, host, sizeof host) && ilSaveImage(host));
    }
    if (error != IL_NO_ERROR)
        ReportImageError(nullptr, error);
    ilDeleteImages(1, &image);
}
