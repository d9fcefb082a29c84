#include "app/SingleInstance.h"
#include <cstdio>

CSingleInstanceApp::~CSingleInstanceApp() {
    if (m_hInstanceMutex)
        ReleaseMutex(m_hInstanceMutex);
}

DWORD_PTR InstanceHandleForName(HINSTANCE hInstance) {
    // The image base recorded in the module's own header is the address Windows
    // loads it at; under Wine the loader may place it elsewhere.
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(hInstance);
    if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE)
        return reinterpret_cast<DWORD_PTR>(hInstance);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(dos) + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return reinterpret_cast<DWORD_PTR>(hInstance);
    return (DWORD_PTR)nt->OptionalHeader.ImageBase;
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
        BuildInstanceName(m_strAppName, InstanceHandleForName(hInstance), style, cursor, icon);

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
