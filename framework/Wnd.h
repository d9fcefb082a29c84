// Window objects: a C++ object per window, messages routed through its message map.
#pragma once
#include "framework/CmdTarget.h"

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) { return ::PostMessageA(m_hWnd, msg, w, l); }
    LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) { return ::SendMessageA(m_hWnd, msg, w, l); }
    BOOL DestroyWindow();
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }

    // The window procedure's work for this object: message map first, then the default.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // What the window would do without our handler for the message being processed.
    LRESULT Default();

    // Binds an existing window handle to this object so its messages reach the map.
    void Attach(HWND hWnd);
    void Detach();
    static CWnd* FromHandle(HWND hWnd);

    DECLARE_MESSAGE_MAP()

protected:
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the window is gone; frame windows delete themselves here.
    virtual void PostNcDestroy() {}

    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } m_current = {0, 0, 0};

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
};

class CFrameWnd : public CWnd {
public:
    // Creates the window: PreCreateWindow completes the parameters first.
    BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                CWnd* pParentWnd = nullptr, LPCSTR lpszMenuName = nullptr, DWORD dwExStyle = 0);
    virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);

    int OnCreate(LPCREATESTRUCTA lpcs);
    void OnDestroy();

    DECLARE_MESSAGE_MAP()

protected:
    void PostNcDestroy() override { delete this; }
};
