// The viewer's commands that leave it as it is (Copy, Properties) and those that
// write a new file and reopen it in a new viewer (Save Resized, Convert).
#include <cstdio>
#include <cstring>
#include "convert/ConvertEngine.h"
#include "convert/FormatTable.h"
#include "convert/Globals.h"
#include "convert/SaveDialog.h"
#include "convert/Settings.h"
#include "convert/Worker.h"
#include "framework/SafeSave.h"
#include "framework/WinApp.h"
#include "imaging/Bmp.h"
#include "imaging/Clipboard.h"
#include "imaging/Dib.h"
#include "imaging/DevIL.h"
#include "viewer/ImageDlg.h"
#include "viewer/PropDlg.h"

namespace {

bool IsBmpDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 24;
}

} // namespace

void ProposeViewerTarget(const char* viewedPath, char* target) {
    const char* slash = strrchr(viewedPath, '\\');
    lstrcpynA(target, slash ? slash + 1 : viewedPath, kPathSize);
    // The type of the last saved file, when both names have one.
    char* dot = strrchr(target, '.');
    const char* lastDot = strrchr(g_szLastSaveName, '.');
    if (dot && lastDot && (size_t)(dot - target) + strlen(lastDot) < (size_t)kPathSize)
        strcpy(dot, lastDot);
}

bool CImageDlg::AskTarget(const char* title) {
    ProposeViewerTarget(m_szFileName, g_szTargetPath);
    PrepareSaveDialog(m_hWnd, title, FALSE);
    if (!GetSaveFileNameA(&g_ofnSave))
        return false;
    if (!AddDefaultExtension(g_szTargetPath)) {
        ReportFailure(m_hWnd, "the target name is too long");
        return false;
    }
    if (CWinApp* app = AfxGetApp())
        RememberSavedFile(*app);
    lstrcpynA(g_szSourcePath, m_szFileName, kPathSize);
    return true;
}

void CImageDlg::OpenTargetAndEnd() {
    StartViewerOn(g_szTargetPath);
    PostQuitMessage(0);
}

void CImageDlg::OnCopyImage() {
    // The scaled bitmap whenever there is one, even at factor 1.
    PutBitmapOnClipboard(m_hWnd, m_hScaledBitmap ? m_hScaledBitmap : m_hBitmap);
}

void CImageDlg::OnProperties() {
    char type[256];
    PropertiesTypeText(m_szFileName, type, sizeof type);
    ShowProperties(m_szFileName, type, m_nImageWidth, m_nImageHeight, PropertiesColorCode(m_nBitsPerPixel));
}

void CImageDlg::OnSaveResized() {
    if ((m_nDisplayWidth == m_nImageWidth && m_nDisplayHeight == m_nImageHeight) || !m_hScaledBitmap)
        return;
    if (!AskTarget("Save Resized Image as:"))
        return;

    if (IsGifName(g_szTargetPath) || IsBmpName(g_szTargetPath)) {
        bool gif = IsGifName(g_szTargetPath);
        if (!gif && IsGifName(m_szFileName))
            m_nBitsPerPixel = 8;
        // A depth a BMP cannot hold (a 32-bit PNG, a 16-bit image) is written at 24.
        int bits = gif ? 8 : IsBmpDepth(m_nBitsPerPixel) ? m_nBitsPerPixel : 24;
        LPBITMAPINFOHEADER dib = DibWithScreenPalette(m_hScaledBitmap, bits);
        bool written = false;
        if (!dib) {
            ReportFailure(m_hWnd, "the image could not be converted");
        } else if (gif) {
            // The GIF writer and the safe save report their own failures.
            written = StageDib(m_hWnd, dib) && WriteStagedTarget(m_hWnd);
        } else {
            CSafeSave save(g_szTargetPath);
            written = save.Ready() && WriteBmpFile(dib, save.TempPath()) == kBmpOk && save.Commit();
            if (!written)
                ReportFailure(m_hWnd, "the file could not be written");
        }
        FreeDib(dib);
        // Told already; there is nothing new to open.
        if (!written) {
            PostQuitMessage(0);
            return;
        }
    } else {
        // The library scales its own copy of the full image, so the file gets the
        // library's filters rather than the screen bitmap.
        m_nImageDepth = ilGetInteger(IL_IMAGE_DEPTH);
        iluImageParameter(ILU_FILTER, m_nDisplayWidth > m_nImageWidth ? ILU_SCALE_MITCHELL : ILU_BILINEAR);
        iluScale(m_nDisplayWidth, m_nDisplayHeight, m_nImageDepth);
        ILenum error = ilGetError();
        if (error == IL_NO_ERROR)
            error = SaveBoundImage(g_szTargetPath);
        g_nLastImageError = (int)error;
        if (error != IL_NO_ERROR) {
            ReportImageError(m_hWnd, error);
            PostQuitMessage(0);
            return;
        }
    }
    OpenTargetAndEnd();
}

void CImageDlg::OnConvert() {
    if (!AskTarget("Convert File to:"))
        return;

    if (SameTypeSuffix()) {
        ConvertFile(false); // a byte copy
    } else if (IsGifName(g_szTargetPath) || (IsGifName(g_szSourcePath)) ||
               (IsBmpName(g_szSourcePath) && m_nBitsPerPixel == 8)) {
        // Staged from the full-size bitmap: 8 bits for a GIF, otherwise the
        // recorded depth with 8 bits raised to 24.
        int bits = IsGifName(g_szTargetPath) ? 8 : m_nBitsPerPixel == 8 ? 24 : m_nBitsPerPixel;
        LPBITMAPINFOHEADER dib = DibWithScreenPalette(m_hBitmap, bits);
        if (!dib)
            ReportFailure(m_hWnd, "the image could not be converted");
        else if (StageDib(m_hWnd, dib))
            ConvertFile(true);
        FreeDib(dib);
    } else if (IsBmpName(g_szSourcePath)) {
        // Any other BMP: our decoder reads it, never the library.
        if (StageSource(m_hWnd, kDeepenOnly8Bits))
            ConvertFile(true);
    } else {
        // The file is read again from disk, and may have changed since it was viewed:
        // the library's loader runs in a worker, as for the tray's conversions.
        CConvertWorker().Convert(m_hWnd, kDeepenOnly8Bits);
    }
    // The new viewer reports a target that could not be written.
    OpenTargetAndEnd();
}
