// The hidden main window of a tray or quick-menu run: owns the tray icon, pops up
// the tray menu and runs its commands.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include "framework/Afx.h"

// TRUE from a capture request until its timer fires.
extern BOOL g_bCaptureArmed;

const UINT_PTR kCaptureTimerId = 1;
const UINT kCaptureDelayMs = 3000;

class CKestrelDlg : public CFrameWnd {
public:
    CKestrelDlg(); // creates the window; in quick-menu mode the menu is tracked here
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
    void OnOptions();
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
    // Ends a quick-menu run once its command is done.
    void EndQuickMenuCommand();

    HICON m_hTrayIcon = nullptr;
    NOTIFYICONDATAA m_nidTray;
    HBITMAP m_hScreenSnapshot = nullptr;
};
