#include "framework/Wnd.h"
#include "framework/WinApp.h"

namespace {
const char kObjectProp[] = "KestrelWndObject";
const char kDefaultFrameClass[] = "KestrelFrame";
} // namespace

CWnd::~CWnd() {
    Detach();
}

void CWnd::Detach() {
    if (m_hWnd) {
        RemovePropA(m_hWnd, kObjectProp);
        m_hWnd = nullptr;
    }
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

void CWnd::Attach(HWND hWnd) {
    m_hWnd = hWnd;
    SetPropA(hWnd, kObjectProp, this);
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    return static_cast<CWnd*>(GetPropA(hWnd, kObjectProp));
}

BOOL CWnd::DestroyWindow() {
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (DispatchMessageMap(message, wParam, lParam, &result))
        return result;
    // Commands the window does not handle go to the application (Exit, Help).
    if (message == WM_COMMAND && AfxGetApp() && AfxGetApp()->DispatchCommand(LOWORD(wParam)))
        return 0;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandle(hWnd);
    if (!wnd && message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<LPCREATESTRUCTA>(lParam);
        wnd = static_cast<CWnd*>(cs->lpCreateParams);
        if (wnd)
            wnd->Attach(hWnd);
    }
    if (!wnd)
        return DefWindowProcA(hWnd, message, wParam, lParam);

    CWnd::CurrentMessage saved = wnd->m_current;
    wnd->m_current = {message, wParam, lParam};
    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    wnd->m_current = saved;

    if (message == WM_NCDESTROY) {
        wnd->Detach();
        CWinApp* app = AfxGetApp();
        // The process ends when its main window goes away.
        if (app && app->m_pMainWnd == wnd) {
            app->m_pMainWnd = nullptr;
            PostQuitMessage(0);
        }
        wnd->PostNcDestroy();
    }
    return result;
}

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
END_MESSAGE_MAP()

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTA& cs) {
    if (!cs.lpszClass) {
        WNDCLASSA wc = {};
        HINSTANCE inst = AfxGetInstanceHandle();
        if (!GetClassInfoA(inst, kDefaultFrameClass, &wc)) {
            wc.style = CS_DBLCLKS;
            wc.lpfnWndProc = AfxWndProc;
            wc.hInstance = inst;
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.lpszClassName = kDefaultFrameClass;
            if (!RegisterClassA(&wc))
                return FALSE;
        }
        cs.lpszClass = kDefaultFrameClass;
    }
    return TRUE;
}

BOOL CFrameWnd::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                       CWnd* pParentWnd, LPCSTR lpszMenuName, DWORD dwExStyle) {
    CREATESTRUCTA cs = {};
    cs.lpCreateParams = this;
    cs.hInstance = AfxGetInstanceHandle();
    cs.hMenu = lpszMenuName ? LoadMenuA(cs.hInstance, lpszMenuName) : nullptr;
    cs.hwndParent = pParentWnd ? pParentWnd->m_hWnd : nullptr;
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.style = dwStyle;
    cs.lpszName = lpszWindowName;
    cs.lpszClass = lpszClassName;
    cs.dwExStyle = dwExStyle;
    if (!PreCreateWindow(cs)) {
        if (cs.hMenu)
            DestroyMenu(cs.hMenu);
        return FALSE;
    }
    HWND hWnd = CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy,
                                cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    return hWnd != nullptr;
}

int CFrameWnd::OnCreate(LPCREATESTRUCTA) {
    return (int)Default();
}

void CFrameWnd::OnDestroy() {
    Default();
}
