// Saving a capture: the shared save dialog, then the capture as a DIB at the
// chosen depth, written by our BMP writer or staged in the exchange file for the
// conversion engine's GIF and library writers.
#include <cstdio>
#include <cstring>
#include "convert/Globals.h"
#include "convert/Settings.h"
#include "convert/ConvertEngine.h"
#include "convert/FormatTable.h"
#include "convert/SaveDialog.h"
#include "framework/Afx.h"
#include "framework/Gdi.h"
#include "framework/SafeSave.h"
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
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

// Our BMP writer, under a temporary name that replaces the target once complete.
void WriteBmpTarget(HWND owner, LPBITMAPINFOHEADER dib) {
    CSafeSave save(g_szTargetPath);
    if (!save.Ready() || WriteBmpFile(dib, save.TempPath()) != kBmpOk || !save.Commit())
        ReportFailure(owner, "the file could not be written");
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
    else if (StageDib(owner, dib))
        WriteStagedTarget(owner);
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
}
