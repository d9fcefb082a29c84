// Capture mode of the tray window: the delayed start, the two clicks with the
// rubber band in between, and the full-screen capture.
#include "tray/Capture.h"
#include <cstdio>
#include <utility>
#include "convert/SaveDialog.h"
#include "framework/Gdi.h"
#include "imaging/Dib.h"
#include "tray/KestrelDlg.h"

BOOL g_bCaptureMode = FALSE;
BOOL g_bFirstCorner = FALSE;
POINT g_ptCaptureAnchor = {0, 0};
RECT g_rcCapture = {0, 0, 0, 0};

namespace {
bool IsEmptyBand(const RECT& rc) {
    return rc.right <= rc.left || rc.bottom <= rc.top;
}

HDC CreateDisplayDC() {
    return CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
}

// The label is inverted only where its glyphs are: a monochrome text bitmap with
// glyph bits 1 becomes white-on-black on the colour context, and SRCINVERT with
// black leaves a pixel alone.
void InvertLabel(HDC hdc, const RECT& rc) {
    char text[32];
    int len = snprintf(text, sizeof text, "%dx%d", (int)(rc.right - rc.left), (int)(rc.bottom - rc.top));
    SIZE size;
    if (!GetTextExtentPointA(hdc, text, len, &size))
        return;
    int x = (rc.left + rc.right - size.cx) / 2;
    int y = (rc.top + rc.bottom - size.cy) / 2;
    CCreatedDC memory(CreateCompatibleDC(hdc));
    if (!memory)
        return;
    SetTextColor(memory, RGB(255, 255, 255));
    SetBkColor(memory, RGB(0, 0, 0));
    CGdiObject<HBITMAP> label(CreateBitmap(size.cx, size.cy, 1, 1, nullptr));
    if (!label)
        return;
    CSelectObject select(memory, label);
    ExtTextOutA(memory, 0, 0, 0, nullptr, text, len, nullptr);
    BitBlt(hdc, x, y, size.cx, size.cy, memory, 0, 0, SRCINVERT);
}
} // namespace

BOOL CaptureBusy() {
    return g_bCaptureArmed || g_bCaptureMode || g_bFirstCorner;
}

void DrawRubberBand(HDC hdc, const RECT& rc) {
    if (IsEmptyBand(rc))
        return;
    const LONG l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
    PatBlt(hdc, l, t, r - l, 1, DSTINVERT);
    PatBlt(hdc, l, b, 1, t - b, DSTINVERT);
    PatBlt(hdc, r - 1, t, 1, b - t, DSTINVERT);
    PatBlt(hdc, r, b - 1, l - r, 1, DSTINVERT);
    InvertLabel(hdc, rc);
}

void SetCaptureImage(HBITMAP bitmap) {
    if (g_hCaptureBitmap && g_hCaptureBitmap != bitmap)
        DeleteObject(g_hCaptureBitmap);
    if (g_hScreenPalette)
        DeleteObject(g_hScreenPalette);
    g_hCaptureBitmap = bitmap;
    g_hScreenPalette = bitmap ? MakeScreenPalette() : nullptr;
}

void CKestrelDlg::OnTimer(UINT_PTR nIDEvent) {
    KillTimer(m_hWnd, nIDEvent);
    // A tick queued before KillTimer must not start a second capture.
    if (!g_bCaptureArmed) {
        Default();
        return;
    }
    // The window shows the screen as it was, so the band is drawn over the real
    // picture and the grab reads the real pixels (an unpainted window is black on X11).
    ShowOverScreen();
    g_bCaptureMode = TRUE;
    SetCursor(LoadCursorA(nullptr, IDC_CROSS));
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_FRAMECHANGED);
    SetForegroundWindow();
    SetCapture(m_hWnd);
    g_bCaptureArmed = FALSE;
    Default();
}

void CKestrelDlg::OnLButtonDown(UINT, POINT pt) {
    Default();
    if (!g_bCaptureMode)
        return;
    if (!g_bFirstCorner) {
        g_ptCaptureAnchor = pt;
        SetRect(&g_rcCapture, pt.x, pt.y, pt.x, pt.y);
        g_bFirstCorner = TRUE;
        return;
    }
    {
        CCreatedDC display(CreateDisplayDC());
        DrawRubberBand(display, g_rcCapture);
    }
    FinishCapture();
}

void CKestrelDlg::OnMouseMove(UINT, POINT pt) {
    Default();
    if (!g_bCaptureMode || !g_bFirstCorner)
        return;
    ClientToScreen(m_hWnd, &pt);
    RECT band = {g_ptCaptureAnchor.x, g_ptCaptureAnchor.y, pt.x, pt.y};
    if (band.right < band.left)
        std::swap(band.left, band.right);
    if (band.bottom < band.top)
        std::swap(band.top, band.bottom);
    if (EqualRect(&band, &g_rcCapture))
        return;
    CCreatedDC display(CreateDisplayDC());
    DrawRubberBand(display, g_rcCapture);
    DrawRubberBand(display, band);
    // Kept even when empty: the band is then off the screen, and a later erase or
    // the second click must not invert (or capture) the old frame again.
    g_rcCapture = band;
}

// Copies g_rcCapture off the screen, leaves capture mode and offers the save.
void CKestrelDlg::FinishCapture() {
    SetCaptureImage(GrabScreenRect(g_rcCapture));
    g_bCaptureMode = FALSE;
    g_bFirstCorner = FALSE;
    HideFromScreen();
    ReleaseCapture();
    g_bSaveForCapture = TRUE;
    SaveCapture(m_hWnd);
    EndQuickMenuCommand();
}

void CKestrelDlg::OnCaptureFullScreen() {
    GetWindowRect(GetDesktopWindow(), &g_rcCapture);
    FinishCapture();
}
