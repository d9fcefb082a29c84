#include "app/SingleInstance.h"
#include <cstdio>
#include "framework/HostPath.h"
#include "tray/KestrelDlg.h"

CSingleInstanceApp::~CSingleInstanceApp() {
    if (m_hInstanceMutex)
        ReleaseMutex(m_hInstanceMutex);
}

std::string CSingleInstanceApp::BuildInstanceName(const std::string& appName, DWORD_PTR instance, UINT style,
                                                  HCURSOR cursor, HICON icon) {
    char name[256];
    if (!cursor && !icon)
        snprintf(name, sizeof name, "%s:%lx:%x", appName.c_str(), (unsigned long)instance, style);
    else
        snprintf(name, sizeof name, "%s:%lx:%x:%lx:%x", appName.c_str(), (unsigned long)instance, style,
                 (unsigned long)(DWORD_PTR)cursor, 0u);
    return name;
}

BOOL CSingleInstanceApp::ClaimSingleInstance(UINT nIconId) {
    HINSTANCE hInstance = AfxGetInstanceHandle();
    // Our resources hold no arrow cursor, so this is normally none.
    HCURSOR cursor = LoadCursorA(hInstance, IDC_ARROW);
    HICON icon = LoadIconA(hInstance, MAKEINTRESOURCEA(nIconId));
    const UINT style = CS_DBLCLKS;
    m_strInstanceClassName =
        BuildInstanceName(m_strAppName, StableInstanceValue(hInstance), style, cursor, icon);

    m_hInstanceMutex = CreateMutexA(nullptr, FALSE, m_strInstanceClassName.c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m_hInstanceMutex);
        m_hInstanceMutex = nullptr;
        HWND resident = FindWindowExA(nullptr, nullptr, m_strInstanceClassName.c_str(), nullptr);
        if (resident)
            PostMessageA(resident, WM_TRAYICON, kHandOverWParam, WM_RBUTTONUP);
        return FALSE;
    }

    WNDCLASSA wc = {};
    wc.style = style;
    wc.lpfnWndProc = AfxWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.lpszClassName = m_strInstanceClassName.c_str();
    if (!AfxRegisterClass(&wc)) {
        AfxMessageBox("Failed to register window class!", MB_ICONHAND);
        return FALSE;
    }
    return TRUE;
}
