// Saving a capture: the shared save dialog, then the capture as a DIB at the
// chosen depth, written by our BMP or GIF writer or, for every other type, by the
// image library from the exchange file.
#include <cstdio>
#include <cstring>
#include "app/Globals.h"
#include "app/Settings.h"
#include "convert/ConvertEngine.h"
#include "convert/FormatTable.h"
#include "convert/SaveDialog.h"
#include "framework/Afx.h"
#include "framework/Gdi.h"
#include "framework/HostPath.h"
#include "imaging/Bmp.h"
#include "imaging/DevIL.h"
#include "imaging/Dib.h"
#include "imaging/GifWriter.h"
#include "imaging/JpegFile.h"
#include "tray/Capture.h"

namespace {
const char kCaptureTitle[] = "Save Screen Capture as:";

int ScreenDepth() {
    CCreatedDC display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!display)
        return 0;
    return GetDeviceCaps(display, PLANES) * GetDeviceCaps(display, BITSPIXEL);
}

// The dialog starts from the screen's own depth; 15- and 16-bit screens keep the
// choice made last time.
void PresetCaptureDepth() {
    int depth = ScreenDepth();
    if (depth >= 24)
        g_nCaptureDepth = 24;
    else if (depth == 1)
        g_nCaptureDepth = 1;
    else if (depth > 1 && depth <= 4)
        g_nCaptureDepth = 4;
    else if (depth > 4 && depth <= 8)
        g_nCaptureDepth = 8;
}

bool PutInExchange(LPBITMAPINFOHEADER dib) {
    try {
        exchangeFile.SeekToBegin();
        WriteBmpToExchange(dib);
        return true;
    } catch (CFileException) {
        EmptyExchange();
        return false;
    }
}

// The capture at the depth its target takes. Our GIF writer reads only 8-bit
// images, so 2 and 16 colours are reduced first and then widened to 8 bits.
LPBITMAPINFOHEADER CaptureDib(bool gif) {
    if (!g_hCaptureBitmap)
        return nullptr;
    if (g_hScreenPalette)
        DeleteObject(g_hScreenPalette);
    g_hScreenPalette = MakeScreenPalette();
    WORD depth = (WORD)g_nCaptureDepth;
    if (gif && depth > 8)
        depth = 8;
    LPBITMAPINFOHEADER dib = DibFromBitmapAtDepth(g_hCaptureBitmap, depth, BI_RGB, g_hScreenPalette);
    if (gif && dib && depth != 8) {
        LPBITMAPINFOHEADER wide = ConvertDibDepth(dib, 8, BI_RGB);
        FreeDib(dib);
        dib = wide;
    }
    if (g_hScreenPalette)
        DeleteObject(g_hScreenPalette);
    g_hScreenPalette = nullptr;
    return dib;
}

void WriteBmpTarget(HWND owner, LPBITMAPINFOHEADER dib) {
    if (WriteBmpFile(dib, g_szTargetPath) != kBmpOk)
        ReportFailure(owner, "the file could not be written");
}

void WriteGifTarget(HWND owner, LPBITMAPINFOHEADER dib) {
    // The GIF writer ends the process when it cannot create its file; a tray
    // process should only say so.
    HANDLE probe =
        CreateFileA(g_szTargetPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        ReportFailure(owner, "the file could not be written");
        return;
    }
    CloseHandle(probe);
    if (!PutInExchange(dib)) {
        ReportFailure(owner, "the temporary file could not be written");
        return;
    }
    WriteGifFromExchange(g_szTargetPath);
    EmptyExchange();
}

// JPEG through our encoder, which keeps full chroma at high quality.
void WriteJpegTarget(HWND owner, LPBITMAPINFOHEADER dib) {
    if (!WriteJpegFromDib(dib, g_szTargetPath, g_nJpegQuality))
        ReportFailure(owner, "the file could not be written");
}

// Every other type: the library loads the exchange image as BMP and writes the
// target in the type its extension names. Its failures are shown.
void WriteLibraryTarget(HWND owner, LPBITMAPINFOHEADER dib) {
    if (!PutInExchange(dib)) {
        ReportFailure(owner, "the temporary file could not be written");
        return;
    }
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    char hostPath[4 * kPathSize];
    exchangeFile.Close();
    bool ok = HostPathFor(g_szExchangePath, hostPath, sizeof hostPath) && ilLoad(IL_BMP, hostPath);
    exchangeFile.Open(g_szExchangePath,
                      CFile::typeBinary | CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive);
    if (ok) {
        ilEnable(IL_FILE_OVERWRITE);
        ok = HostPathFor(g_szTargetPath, hostPath, sizeof hostPath) && ilSaveImage(hostPath);
    }
    ILenum error = ilGetError();
    // The library can fail without queuing an error (a file it cannot open).
    if (!ok && error == IL_NO_ERROR)
        error = IL_COULD_NOT_OPEN_FILE;
    if (error != IL_NO_ERROR)
        ReportImageError(owner, error);
    ilDeleteImages(1, &image);
}

void WriteCapture(HWND owner) {
    bool bmp = IsBmpName(g_szTargetPath);
    bool gif = IsGifName(g_szTargetPath);
    LPBITMAPINFOHEADER dib = CaptureDib(gif);
    if (!dib) {
        // No capture at all (two clicks on one spot) writes nothing by design.
        if (g_hCaptureBitmap)
            ReportFailure(owner, "the capture could not be converted");
        return;
    }
    if (bmp)
        WriteBmpTarget(owner, dib);
    else if (gif)
        WriteGifTarget(owner, dib);
    else if (IsJpegName(g_szTargetPath))
        WriteJpegTarget(owner, dib);
    else
        WriteLibraryTarget(owner, dib);
    FreeDib(dib);
}

} // namespace

void SaveCapture(HWND owner) {
    PrepareSaveDialog(owner, kCaptureTitle, TRUE);
    PresetCaptureDepth();
    lstrcpynA(g_szTargetPath, g_szLastSaveName, kPathSize);
    if (GetSaveFileNameA(&g_ofnSave)) {
        if (!AddDefaultExtension(g_szTargetPath))
            ReportFailure(owner, "the file name is too long");
        else {
            // "256 Colors" is a BMP-only choice; every other type gets 24 bits.
            if (g_nCaptureDepth == 8 && !IsBmpName(g_szTargetPath))
                g_nCaptureDepth = 24;
            WriteCapture(owner);
        }
        RememberSavedFile(*AfxGetApp());
    }
    if (g_bQuickMenu)
        PostQuitMessage(0);
}
