#include "tray/KestrelDlg.h"
#include <cstring>
#include "convert/BatchProgress.h"
#include "convert/FileConversion.h"
#include "convert/Globals.h"
#include "convert/Worker.h"
#include "imaging/DevIL.h"
#include "imaging/Exchange.h"
#include "resources/resource.h"
#include "framework/AboutDlg.h"
#include "tray/Capture.h"

BOOL g_bCaptureArmed = FALSE;
BOOL g_bQuickMenu = FALSE;

namespace {
const char kTrayTip[] = "Left click to start screen capture,\nRight click for menu....";
} // namespace

BEGIN_MESSAGE_MAP(CKestrelDlg, CFrameWnd)
    ON_WM_CREATE()
    ON_MESSAGE(WM_TRAYICON, OnTrayIcon)
    ON_WM_DESTROY()
    ON_WM_ERASEBKGND()
    ON_WM_PAINT()
    ON_WM_TIMER()
    ON_WM_LBUTTONDOWN()
    ON_WM_MOUSEMOVE()
    ON_COMMAND(ID_CAPTURE, OnCapture)
    ON_COMMAND(ID_CAPTURE_FULL_SCREEN, OnCaptureFullScreen)
    ON_COMMAND(ID_VIEW_IMAGE_FILE, OnViewImageFile)
    ON_COMMAND(ID_CONVERT_FILE, OnConvertFile)
    ON_COMMAND(ID_BATCH_CONVERT, OnBatchConvert)
    ON_COMMAND(ID_HELP_CONTENTS, OnHelpContents)
    ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
END_MESSAGE_MAP()

CKestrelDlg::CKestrelDlg(const char* className) : m_strClassName(className) {
    memset(&m_nidTray, 0, sizeof m_nidTray);
    ilInit();
    iluInit();
    ilutInit();
    ilSetInteger(IL_JPG_QUALITY, g_nJpegQuality);
    ilSetInteger(IL_PNG_INTERLACE, g_nPngInterlace);
    g_bCaptureArmed = FALSE;
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    Create(nullptr, "Kestrel", WS_POPUP, screen);
}

CKestrelDlg::~CKestrelDlg() {
    if (m_hScreenSnapshot)
        DeleteObject(m_hScreenSnapshot);
}

BOOL CKestrelDlg::PreCreateWindow(CREATESTRUCTA& cs) {
    if (!CFrameWnd::PreCreateWindow(cs))
        return FALSE;
    cs.hMenu = nullptr;
    cs.lpszClass = m_strClassName.c_str();
    cs.dwExStyle = WS_EX_APPWINDOW;
    return TRUE;
}

int CKestrelDlg::OnCreate(LPCREATESTRUCTA lpcs) {
    if (CFrameWnd::OnCreate(lpcs) == -1)
        return -1;
    if (g_bQuickMenu) {
        PopUpTrayMenu();
        MSG pending;
        if (!PeekMessageA(&pending, m_hWnd, 0, 0, PM_NOREMOVE))
            PostQuitMessage(0);
        return 0;
    }
    m_hTrayIcon = static_cast<HICON>(LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    m_nidTray.cbSize = sizeof m_nidTray;
    m_nidTray.hWnd = m_hWnd;
    m_nidTray.uID = 1;
    m_nidTray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nidTray.uCallbackMessage = WM_TRAYICON;
    m_nidTray.hIcon = m_hTrayIcon;
    lstrcpynA(m_nidTray.szTip, kTrayTip, sizeof m_nidTray.szTip);
    Shell_NotifyIconA(NIM_ADD, &m_nidTray);
    // A click on the icon while a worker converts is answered at once, not queued
    // until the batch ends.
    AnswerWhileConverting(m_hWnd, WM_TRAYICON);
    return 0;
}

void CKestrelDlg::ShowOverScreen() {
    if (m_hScreenSnapshot)
        DeleteObject(m_hScreenSnapshot);
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    CClientDC screen(nullptr);
    CCreatedDC memory(CreateCompatibleDC(screen));
    m_hScreenSnapshot = CreateCompatibleBitmap(screen, cx, cy);
    {
        CSelectObject select(memory, m_hScreenSnapshot);
        BitBlt(memory, 0, 0, cx, cy, screen, 0, 0, SRCCOPY);
    }
    ShowWindow(SW_SHOW);
    UpdateWindow(m_hWnd);
}

void CKestrelDlg::HideFromScreen() {
    ShowWindow(SW_HIDE);
    if (m_hScreenSnapshot)
        DeleteObject(m_hScreenSnapshot);
    m_hScreenSnapshot = nullptr;
}

BOOL CKestrelDlg::OnEraseBkgnd(HDC) {
    return TRUE;
}

void CKestrelDlg::OnPaint() {
    CPaintDC dc(m_hWnd);
    if (!m_hScreenSnapshot)
        return;
    CCreatedDC memory(CreateCompatibleDC(dc));
    CSelectObject select(memory, m_hScreenSnapshot);
    const RECT& r = dc.m_ps.rcPaint;
    BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, r.left, r.top, SRCCOPY);
}

void CKestrelDlg::PopUpTrayMenu() {
    HMENU menu = LoadMenuA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_TRAYMENU));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    POINT pt;
    GetCursorPos(&pt);
    ShowOverScreen();
    SetForegroundWindow();
    TrackPopupMenu(popup, TPM_RIGHTALIGN, pt.x, pt.y, 0, m_hWnd, nullptr);
    HideFromScreen();
    if (!g_bQuickMenu)
        PostMessage(WM_NULL);
    DestroyMenu(menu);
}

LRESULT CKestrelDlg::OnTrayIcon(WPARAM, LPARAM lParam) {
    if (CaptureBusy())
        return 1;
    // No second command inside a conversion, not even from one of its boxes.
    if (ConversionUnderWay()) {
        if (lParam == WM_LBUTTONUP || lParam == WM_RBUTTONUP)
            CBatchProgress::Raise();
        return 1;
    }
    switch (lParam) {
    case WM_RBUTTONUP:
        PopUpTrayMenu();
        break;
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        OnCapture();
        break;
    }
    return 1;
}

void CKestrelDlg::OnDestroy() {
    AnswerWhileConverting(nullptr, 0);
    if (!g_bQuickMenu) {
        Shell_NotifyIconA(NIM_DELETE, &m_nidTray);
        if (m_hTrayIcon)
            DestroyIcon(m_hTrayIcon);
        m_hTrayIcon = nullptr;
    }
    SetCaptureImage(nullptr);
    ReleaseExchangeFile();
    CFrameWnd::OnDestroy();
}

void CKestrelDlg::EndQuickMenuCommand() {
    if (g_bQuickMenu)
        PostQuitMessage(0);
}

void CKestrelDlg::OnCapture() {
    if (CaptureBusy())
        return;
    g_bCaptureArmed = TRUE;
    SetTimer(m_hWnd, kCaptureTimerId, kCaptureDelayMs, nullptr);
}

void CKestrelDlg::OnViewImageFile() {
    char command[MAX_PATH + 8] = "";
    GetModuleFileNameA(nullptr, command, 255);
    strcat(command, " -o");
    WinExec(command, SW_SHOWNORMAL);
    EndQuickMenuCommand();
}

void CKestrelDlg::OnConvertFile() {
    ConvertImageFile(m_hWnd);
    EndQuickMenuCommand();
}

void CKestrelDlg::OnBatchConvert() {
    ConvertImageFiles(m_hWnd);
    EndQuickMenuCommand();
}

void CKestrelDlg::OnHelpContents() {
    ShowHelpFile();
    EndQuickMenuCommand();
}

void CKestrelDlg::OnAppAbout() {
    CAboutDlg about;
    about.DoModal();
    EndQuickMenuCommand();
}
