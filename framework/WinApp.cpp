#include "framework/WinApp.h"
#include <cstring>
#include "framework/HostPath.h"

namespace {
CWinApp* g_pApp = nullptr;
} // namespace

CWinApp* AfxGetApp() {
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle() {
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() {
    return AfxGetInstanceHandle();
}

int AfxMessageBox(LPCSTR lpszText, UINT nType) {
    HWND owner = g_pApp && g_pApp->m_pMainWnd ? g_pApp->m_pMainWnd->m_hWnd : nullptr;
    const char* caption = g_pApp && !g_pApp->m_strAppName.empty() ? g_pApp->m_strAppName.c_str() : "Kestrel";
    return MessageBoxA(owner, lpszText, caption, nType);
}

BOOL AfxRegisterClass(WNDCLASSA* lpWndClass) {
    WNDCLASSA existing;
    if (GetClassInfoA(lpWndClass->hInstance, lpWndClass->lpszClassName, &existing))
        return TRUE;
    return RegisterClassA(lpWndClass) != 0;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
    ON_COMMAND(ID_APP_EXIT, OnAppExit)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) {
    if (lpszAppName)
        m_strAppName = lpszAppName;
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

void CWinApp::AttachProcess(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow) {
    m_hInstance = hInstance;
    m_lpCmdLine = lpCmdLine;
    m_nCmdShow = nCmdShow;
    if (m_strAppName.empty()) {
        char title[256] = "";
        if (LoadStringA(hInstance, AFX_IDS_APP_TITLE, title, sizeof title) > 0)
            m_strAppName = title;
    }
    char module[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(hInstance, module, sizeof module);
    if (n > 0 && n < sizeof module) {
        m_strHelpFilePath = module;
        size_t dot = m_strHelpFilePath.find_last_of('.');
        size_t slash = m_strHelpFilePath.find_last_of('\\');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            m_strHelpFilePath.erase(dot);
        m_strHelpFilePath += ".chm";
    }
}

int CWinApp::Run() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    ExitInstance();
    return (int)msg.wParam;
}

HKEY CWinApp::OpenSectionKey(LPCSTR lpszSection) {
    std::string path = "Software\\" + m_strRegistryKey + "\\" + m_strAppName + "\\" + lpszSection;
    HKEY key = nullptr;
    // Reads create the chain too, so the key exists after the first start.
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

UINT CWinApp::GetProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nDefault) {
    HKEY key = OpenSectionKey(lpszSection);
    if (!key)
        return nDefault;
    DWORD type = 0, value = 0, size = sizeof value;
    LONG rc = RegQueryValueExA(key, lpszEntry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        return nDefault;
    return value;
}

BOOL CWinApp::WriteProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nValue) {
    HKEY key = OpenSectionKey(lpszSection);
    if (!key)
        return FALSE;
    DWORD value = (DWORD)nValue;
    LONG rc =
        RegSetValueExA(key, lpszEntry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::string CWinApp::GetProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszDefault) {
    std::string fallback = lpszDefault ? lpszDefault : "";
    HKEY key = OpenSectionKey(lpszSection);
    if (!key)
        return fallback;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(key, lpszEntry, nullptr, &type, nullptr, &size);
    std::string value;
    if (rc == ERROR_SUCCESS && type == REG_SZ) {
        value.resize(size + 1);
        rc = RegQueryValueExA(key, lpszEntry, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &size);
        value.resize(rc == ERROR_SUCCESS ? strnlen(value.c_str(), size) : 0);
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return fallback;
    return value;
}

BOOL CWinApp::WriteProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszValue) {
    // The flush: the registry writes through by itself, so there is nothing to do and
    // nothing stored may change.
    if (!lpszSection && !lpszEntry && !lpszValue)
        return TRUE;
    if (!lpszSection || !lpszEntry)
        return FALSE;
    HKEY key = OpenSectionKey(lpszSection);
    if (!key)
        return FALSE;
    LONG rc;
    if (lpszValue)
        rc = RegSetValueExA(key, lpszEntry, 0, REG_SZ, reinterpret_cast<const BYTE*>(lpszValue),
                            (DWORD)strlen(lpszValue) + 1);
    else
        rc = RegDeleteValueA(key, lpszEntry);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void CWinApp::HtmlHelp(DWORD_PTR dwData, UINT nCmd) {
    // Before the main window exists (the welcome dialog) help opens over the active one.
    HWND owner = m_pMainWnd && m_pMainWnd->m_hWnd ? m_pMainWnd->m_hWnd : GetActiveWindow();
    if (!m_strHelpFilePath.empty() && ShowHostHelp(m_strHelpFilePath.c_str(), nCmd, dwData, owner))
        return;
    char text[128] = "";
    if (LoadStringA(AfxGetResourceHandle(), AFX_IDP_FAILED_TO_LAUNCH_HELP, text, sizeof text) <= 0)
        lstrcpynA(text, "Failed to launch help.", sizeof text);
    MessageBoxA(owner, text, m_strAppName.empty() ? "Kestrel" : m_strAppName.c_str(),
                MB_OK | MB_ICONEXCLAMATION);
}

void CWinApp::OnHelp() {
    HtmlHelp();
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd)
        m_pMainWnd->SendMessage(WM_CLOSE);
}

void CWinApp::DoWaitCursor(int nCode) {
    if (nCode > 0) {
        if (m_nWaitCursorCount++ == 0)
            m_hcurWaitCursorRestore = SetCursor(LoadCursor(nullptr, IDC_WAIT));
        else
            SetCursor(LoadCursor(nullptr, IDC_WAIT));
    } else if (nCode < 0) {
        if (m_nWaitCursorCount > 0 && --m_nWaitCursorCount == 0)
            SetCursor(m_hcurWaitCursorRestore);
    } else if (m_nWaitCursorCount > 0) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
    }
}
