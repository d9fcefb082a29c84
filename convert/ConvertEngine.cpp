#include "convert/ConvertEngine.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include "convert/Globals.h"
#include "convert/FormatTable.h"
#include "framework/File.h"
#include "framework/Gdi.h"
#include "framework/HostPath.h"
#include "framework/SafeSave.h"
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "imaging/Exchange.h"
#include "imaging/GifReader.h"
#include "imaging/GifWriter.h"
#include "imaging/IlutBridge.h"
#include "imaging/JpegFile.h"
#include "imaging/LibraryJpeg.h"

int g_nLastImageError = 0;

namespace {
BoxSink s_boxSink = nullptr;

void ShowBox(HWND owner, const char* text, const char* caption) {
    if (s_boxSink)
        s_boxSink(owner, text, caption);
    else
        MessageBoxA(owner, text, caption, MB_OK);
}
} // namespace

void SetBoxSink(BoxSink sink) {
    s_boxSink = sink;
}

void ReportFailure(HWND owner, const char* what) {
    snprintf(g_szMessage, kPathSize, "Error: %s\n", what);
    ShowBox(owner, g_szMessage, "File Error!");
}

void ReportCodecFailure() {
    ShowBox(nullptr, "File Error!", "Kestrel");
}

namespace {
const ULONGLONG kMaxBmpFileBytes = 0x41000000; // the largest image we decode, and some
} // namespace

BmpStaging StageUserBmp(const char* path, WORD* sourceBits) {
    CFile source;
    if (!source.Open(path, CFile::modeRead | CFile::typeBinary))
        return kBmpCannotOpen;
    ULONGLONG length = source.GetLength();
    if (length > kMaxBmpFileBytes)
        return kBmpRefused;
    std::vector<BYTE> bytes;
    try {
        bytes.resize((size_t)length);
    } catch (const std::bad_alloc&) {
        return kBmpRefused;
    }
    size_t got = 0;
    while (got < bytes.size()) {
        UINT count = source.Read(bytes.data() + got, (UINT)std::min<size_t>(bytes.size() - got, 1 << 20));
        if (count == 0)
            break;
        got += count;
    }
    LPBITMAPINFOHEADER dib = DecodeBmp(bytes.data(), got);
    if (!dib)
        return kBmpRefused;
    if (sourceBits) {
        // The bit count as the file has it: after the 12-byte core header's sizes,
        // or after the longer headers' 32-bit ones.
        DWORD headerSize = got >= 18 ? bytes[14] | bytes[15] << 8 | bytes[16] << 16 | (DWORD)bytes[17] << 24 : 0;
        size_t at = headerSize == 12 ? 24 : 28;
        *sourceBits = got >= at + 2 ? (WORD)(bytes[at] | bytes[at + 1] << 8) : dib->biBitCount;
    }
    exchangeFile.SetLength(0);
    exchangeFile.SeekToBegin();
    WriteBmpToExchange(dib);
    FreeDib(dib);
    exchangeFile.SeekToBegin();
    return kBmpStaged;
}

namespace {

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

LPBITMAPINFOHEADER EightBitDibOfBitmap(HBITMAP bitmap) {
    return DibWithScreenPalette(bitmap, 8);
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
    return depth == 0 || RestageAtDepth(depth);
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
    bool staged = StageDib(owner, dib);
    FreeDib(dib);
    return staged;
}

} // namespace

LPBITMAPINFOHEADER DibWithScreenPalette(HBITMAP bitmap, WORD bits) {
    g_hScreenPalette = MakeScreenPalette();
    LPBITMAPINFOHEADER dib = DibFromBitmapAtDepth(bitmap, bits, BI_RGB, g_hScreenPalette);
    if (g_hScreenPalette)
        DeleteObject(g_hScreenPalette);
    g_hScreenPalette = nullptr;
    return dib;
}

// The library's encoding of the bound image in the type the target's name gives,
// written so that a failure leaves the old target as it was: the library does not
// check its own writes. Types it encodes into memory are written by us; the rest
// it writes to a temporary file, whose length must match the encoded size.
ILenum SaveBoundImage(const char* target) {
    // JPEG through our encoder: the library's always halves the chroma.
    if (IsJpegName(target)) {
        ILenum error = WriteJpegFromLibraryImage(target, g_nJpegQuality) ? IL_NO_ERROR : IL_FILE_WRITE_ERROR;
        g_nLastImageError = (int)error;
        return error;
    }
    ILenum type = ilTypeFromExt(target);
    if (type == IL_TYPE_UNKNOWN) {
        g_nLastImageError = IL_INVALID_EXTENSION;
        return IL_INVALID_EXTENSION;
    }
    // The size query gives 0 for some images it can still write (a colour-indexed
    // TGA): those go the temporary-file way, checked for being non-empty only.
    ILuint size = ilSaveL(type, nullptr, 0);
    ILenum error = ilGetError();
    g_nLastImageError = (int)error;
    if (error != IL_NO_ERROR) {
        while (ilGetError() != IL_NO_ERROR) {
        }
        return error;
    }
    std::vector<BYTE> bytes(size);
    ILuint encoded = size > 0 ? ilSaveL(type, bytes.data(), size) : 0;
    while (ilGetError() != IL_NO_ERROR) {
    }
    bool written;
    if (encoded > 0) {
        written = CSafeSave::WriteBytes(target, bytes.data(), encoded);
    } else {
        CSafeSave save(target);
        char host[kHostPathSize];
        written = save.Ready() && HostPathFor(save.TempPath(), host, sizeof host);
        if (written) {
            ilEnable(IL_FILE_OVERWRITE);
            error = LibraryResult(ilSave(type, host));
            if (error != IL_NO_ERROR)
                return error;
            WIN32_FILE_ATTRIBUTE_DATA data;
            written = GetFileAttributesExA(save.TempPath(), GetFileExInfoStandard, &data) &&
                      data.nFileSizeHigh == 0 && data.nFileSizeLow > 0 &&
                      (size == 0 || data.nFileSizeLow == size) && save.Commit();
        }
    }
    if (!written) {
        g_nLastImageError = IL_FILE_WRITE_ERROR;
        return IL_FILE_WRITE_ERROR;
    }
    return IL_NO_ERROR;
}

bool RestageAtDepth(WORD depth) {
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

void ReportImageError(HWND owner, ILenum error, const char* caption) {
    const char* text = iluErrorString(error);
    snprintf(g_szMessage, kPathSize, "Error: %s\n", text ? text : "unknown error");
    ShowBox(owner, g_szMessage, caption);
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
    // A byte copy needs no pixels.
    if (SameTypeSuffix())
        return true;
    bool read, vetted = true;
    try {
        if (!IsGifName(g_szSourcePath) && !IsBmpName(g_szSourcePath))
            return StageThroughLibrary(owner);
        if (IsGifName(g_szSourcePath)) {
            exchangeFile.SetLength(0);
            int status = ReadGifToExchange(g_szSourcePath, 1);
            if (status != kGifReadOk && status != kGifReadCannotOpen) {
                // A damaged GIF: the reader left the exchange file empty.
                EmptyExchange();
                ReportCodecFailure();
                return false;
            }
            read = status == kGifReadOk;
        } else {
            BmpStaging staging = StageUserBmp(g_szSourcePath);
            read = staging != kBmpCannotOpen;
            vetted = staging == kBmpStaged;
        }
        if (read && (!vetted || !AdjustStagedDepth(rule))) {
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

bool StageDib(HWND owner, const BITMAPINFOHEADER* dib) {
    try {
        exchangeFile.SetLength(0);
        WriteBmpToExchange(const_cast<LPBITMAPINFOHEADER>(dib));
        exchangeFile.SeekToBegin();
        return true;
    } catch (CFileException) {
        EmptyExchange();
        ReportFailure(owner, "the temporary file could not be written");
        return false;
    }
}

bool WriteStagedTarget(HWND owner) {
    if (IsGifName(g_szTargetPath)) {
        bool written = false;
        CSafeSave save(g_szTargetPath);
        if (save.Ready()) {
            if (WriteGifFromExchange(save.TempPath()) != kGifWriteOk)
                ReportCodecFailure();
            else if (!(written = save.Commit()))
                ReportFailure(owner, "the file could not be written");
        } else {
            g_nLastImageError = IL_COULD_NOT_OPEN_FILE;
            ReportImageError(owner, IL_COULD_NOT_OPEN_FILE);
        }
        EmptyExchange();
        return written;
    }

    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    bool loaded;
    {
        CExchangeLoan loan;
        loaded = LoadWithLibrary(g_szExchangePath, IL_BMP);
    }
    ILenum error = LibraryResult(loaded);
    if (error == IL_NO_ERROR)
        error = SaveBoundImage(g_szTargetPath);
    if (error != IL_NO_ERROR)
        ReportImageError(owner, error);
    ilDeleteImages(1, &image);
    return error == IL_NO_ERROR;
}
void ConvertFile(bool staged) {
    if (SameTypeSuffix()) {
        // The source is never written to, even when the target names it.
        if (!SameFile(g_szSourcePath, g_szTargetPath) && !CSafeSave::CopyFrom(g_szSourcePath, g_szTargetPath))
            ReportFailure(nullptr, "the file could not be copied");
        if (staged)
            EmptyExchange();
        return;
    }
    if (staged) {
        WriteStagedTarget(nullptr);
        return;
    }

    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ILenum error = LibraryResult(LoadWithLibrary(g_szSourcePath, IL_TYPE_UNKNOWN));
    if (error == IL_NO_ERROR)
        error = SaveBoundImage(g_szTargetPath);
    if (error != IL_NO_ERROR)
        ReportImageError(nullptr, error);
    ilDeleteImages(1, &image);
}
