// The viewer's Print command: a temporary library copy scaled to the display size
// is drawn at the top-left of one page of the default printer.
#include "viewer/Print.h"
#include <cstdio>
#include "convert/ConvertEngine.h"
#include "convert/Settings.h"
#include "framework/Gdi.h"
#include "imaging/IlutBridge.h"
#include "viewer/ImageDlg.h"

namespace {
const char kPrintCaption[] = "Print Error";
// Printer names are far shorter; the buffer only has to hold them.
const DWORD kPrinterNameSize = 512;

void TellPrintFailed(HWND owner, const char* text) {
    MessageBoxA(owner, text, kPrintCaption, MB_OK | MB_ICONEXCLAMATION);
}

// One page holding the bound image at width x height; the job is withdrawn when
// any step fails, so no blank sheet comes out.
bool PrintOnePage(HDC printer, int width, int height) {
    bool printed = StartPage(printer) > 0 && ilutWinPrint(0, 0, width, height, printer) &&
                   EndPage(printer) > 0 && EndDoc(printer) > 0;
    if (!printed)
        AbortDoc(printer);
    return printed;
}
} // namespace

void CImageDlg::OnPrint() {
    char printer[kPrinterNameSize] = "";
    DWORD size = sizeof printer;
    PrintViewedImage(*this, GetDefaultPrinterA(printer, &size) ? printer : nullptr);
}

void PrintViewedImage(CImageDlg& viewer, const char* printerName) {
    if (!viewer.m_hBitmap || viewer.m_nImageWidth <= 0 || viewer.m_nImageHeight <= 0 ||
        viewer.m_nDisplayWidth <= 0 || viewer.m_nDisplayHeight <= 0)
        return;
    HWND owner = viewer.m_hWnd;
    char text[kPrinterNameSize + 64];
    // The printer is settled first, so a missing one leaves everything untouched.
    if (!printerName || !*printerName) {
        TellPrintFailed(owner, "No printer is set up to print on.");
        return;
    }
    CCreatedDC printer(CreateDCA("WINSPOOL", printerName, nullptr, nullptr));
    if (!printer) {
        snprintf(text, sizeof text, "The printer \"%s\" cannot be reached.", printerName);
        TellPrintFailed(owner, text);
        return;
    }
    char docName[kPathSize] = "";
    SplitPath(viewer.m_szFileName, nullptr, docName);
    DOCINFOA doc = {sizeof doc, docName};
    if (StartDocA(printer, &doc) <= 0) {
        snprintf(text, sizeof text, "The printer \"%s\" did not accept the document.", printerName);
        TellPrintFailed(owner, text);
        return;
    }

    ILuint copy = 0;
    ilGenImages(1, &copy);
    ilBindImage(copy);
    ilCopyImage(viewer.m_nImageName);
    viewer.m_nImageDepth = ilGetInteger(IL_IMAGE_DEPTH);
    int width = viewer.m_nDisplayWidth, height = viewer.m_nDisplayHeight;
    ILenum filter = 0;
    if (width != viewer.m_nImageWidth)
        filter = width > viewer.m_nImageWidth ? ILU_SCALE_MITCHELL : ILU_BILINEAR;
    else if (height != viewer.m_nImageHeight)
        filter = ILU_BILINEAR;
    if (filter) {
        iluImageParameter(ILU_FILTER, filter);
        iluScale(width, height, viewer.m_nImageDepth);
    }

    bool printed = PrintOnePage(printer, width, height);

    ILenum error = ilGetError();
    g_nLastImageError = (int)error;
    if (error != IL_NO_ERROR)
        ReportImageError(owner, error, kPrintCaption);
    else if (!printed)
        TellPrintFailed(owner, "The image could not be sent to the printer.");

    ilDeleteImages(1, &copy);
    ilBindImage(viewer.m_nImageName);
}
