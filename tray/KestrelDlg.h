// The hidden main window of a tray or quick-menu run: owns the tray icon, pops up
// the tray menu and runs its commands.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <string>
#include "framework/Afx.h"

// TRUE from a capture request until its timer fires.
extern BOOL g_bCaptureArmed;
// TRUE when the process runs the tray menu once ("-q").
extern BOOL g_bQuickMenu;

// Tray notifications; a second start posts it too, read as a right click on the icon.
const UINT WM_TRAYICON = WM_USER + 100;

const UINT_PTR kCaptureTimerId = 1;
const UINT kCaptureDelayMs = 3000;

class CKestrelDlg : public CFrameWnd {
public:
    // Creates the window with the single-instance class; in quick-menu mode the menu
    // is tracked here.
    explicit CKestrelDlg(const char* className);
    ~CKestrelDlg() override;

    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;

    int OnCreate(LPCREATESTRUCTA lpcs);
    LRESULT OnTrayIcon(WPARAM wParam, LPARAM lParam);
    void OnDestroy();
    BOOL OnEraseBkgnd(HDC hdc);
    void OnPaint();
    void OnTimer(UINT_PTR nIDEvent);
    void OnLButtonDown(UINT nFlags, POINT point);
    void OnMouseMove(UINT nFlags, POINT point);
    void OnCapture();
    void OnCaptureFullScreen();
    void OnViewImageFile();
    void OnConvertFile();
    void OnBatchConvert();
    void OnHelpContents();
    void OnAppAbout();

    // Shows the tray menu at the mouse position; steps 1-5 of the pop-up, then the rest
    // unless only the quick-menu part is wanted.
    void PopUpTrayMenu();

    DECLARE_MESSAGE_MAP()

protected:
    // Shows the full-screen window over a picture of the screen as it was, so that
    // nothing visibly changes; on X11 an unpainted window would be black.
    void ShowOverScreen();
    void HideFromScreen();
    void FinishCapture();
    // Ends a quick-menu run once its command is done: the one way every command ends.
    void EndQuickMenuCommand();

    HICON m_hTrayIcon = nullptr;
    NOTIFYICONDATAA m_nidTray;
    HBITMAP m_hScreenSnapshot = nullptr;
    std::string m_strClassName;
};
