// The application object: start-up entry, profile (registry) operations, help and
// the wait cursor.
#pragma once
#include <string>
#include "framework/Wnd.h"

enum AppHelpType { afxWinHelp = 0, afxHTMLHelp = 1 };

// Framework command ids shared with the resources.
#define ID_HELP 0xE146      // 57670
#ifndef ID_APP_ABOUT
#define ID_APP_ABOUT 0xE140 // 57664
#define ID_APP_EXIT 0xE141  // 57665
#endif
#define AFX_IDS_APP_TITLE 0xE000
#define AFX_IDP_FAILED_TO_LAUNCH_HELP 0xF107 // 61703

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    HINSTANCE m_hInstance = nullptr;
    LPSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    std::string m_strAppName;      // from string resource 57344 unless given
    std::string m_strRegistryKey;  // company key under HKCU\Software
    std::string m_strHelpFilePath; // the program's path with the extension "chm"
    AppHelpType m_eHelpType = afxWinHelp;
    CWnd* m_pMainWnd = nullptr;

    virtual BOOL InitInstance() { return FALSE; }
    // The message loop; returns the quit code.
    virtual int Run();
    virtual int ExitInstance() { return 0; }

    // Called by the entry point before InitInstance.
    void AttachProcess(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow);

    void SetRegistryKey(LPCSTR lpszRegistryKey) { m_strRegistryKey = lpszRegistryKey; }
    void EnableHtmlHelp() { m_eHelpType = afxHTMLHelp; }

    // Profile operations on HKCU\Software\<key>\<app>\<section>. Values of the wrong
    // type read as missing. A write with no section, key and text is the flush.
    virtual UINT GetProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nDefault);
    virtual BOOL WriteProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nValue);
    virtual std::string GetProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszDefault = nullptr);
    virtual BOOL WriteProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszValue);

    // Opens the help file at m_strHelpFilePath; says "Failed to launch help." when
    // nothing can show it.
    virtual void HtmlHelp(DWORD_PTR dwData = 0, UINT nCmd = 0);
    // 1 shows the wait cursor (nested), -1 takes one level away, 0 shows it again.
    void DoWaitCursor(int nCode);

    void OnAppExit();
    void OnHelp();

    DECLARE_MESSAGE_MAP()

private:
    HKEY OpenSectionKey(LPCSTR lpszSection);
    int m_nWaitCursorCount = 0;
    HCURSOR m_hcurWaitCursorRestore = nullptr;
};

CWinApp* AfxGetApp();
// The entry point's work: attaches the application object to the process, runs
// InitInstance and then the message loop or ExitInstance.
int AfxWinMain(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow);
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK);
BOOL AfxRegisterClass(WNDCLASSA* lpWndClass);

// Shows the wait cursor for the lifetime of the object.
class CWaitCursor {
public:
    CWaitCursor() { AfxGetApp()->DoWaitCursor(1); }
    ~CWaitCursor() { AfxGetApp()->DoWaitCursor(-1); }
    void Restore() { AfxGetApp()->DoWaitCursor(0); }
};
