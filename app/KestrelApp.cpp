#include "app/KestrelApp.h"
#include <shlobj.h>
#include <cderr.h>
#include <cstdio>
#include <cstring>
#include "app/CommandLine.h"
#include "app/WelcomeDlg.h"
#include "convert/Settings.h"
#include "convert/FormatTable.h"
#include "convert/SaveDialog.h"
#include "imaging/Exchange.h"
#include "options/OptionsDlg.h"
#include "resources/resource.h"
#include "tray/KestrelDlg.h"
#include "viewer/ImageDlg.h"

BEGIN_MESSAGE_MAP(CKestrelApp, CSingleInstanceApp)
    ON_COMMAND(ID_HELP, OnHelp)
    ON_COMMAND(ID_OPTIONS, OnOptions)
END_MESSAGE_MAP()

namespace {
void TellPathTooLong(const char* path) {
    char text[kPathSize + 128];
    if (path)
        snprintf(text, sizeof text, "This path is longer than %d characters:\n\n%.*s...", kPathSize - 1,
                 kPathSize - 1, path);
    else
        snprintf(text, sizeof text, "The chosen path is longer than %d characters.", kPathSize - 1);
    MessageBoxA(nullptr, text, "Kestrel", MB_OK | MB_ICONEXCLAMATION);
}

// A short or differently cased name becomes the name as stored; a wildcard, the
// first match. A bare name is made absolute so that its folder can be remembered.
std::string FixUpLongName(const std::string& path) {
    std::string result = path;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(path.c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        FindClose(h);
        size_t slash = result.find_last_of('\\');
        result = (slash == std::string::npos ? std::string() : result.substr(0, slash + 1)) + found.cFileName;
    }
    if (result.find('\\') == std::string::npos) {
        char full[MAX_PATH * 2];
        DWORD n = GetFullPathNameA(result.c_str(), sizeof full, full, nullptr);
        if (n > 0 && n < sizeof full)
            result = full;
    }
    return result;
}
} // namespace

BOOL CKestrelApp::InitInstance() {
    EnableHtmlHelp();
    SetRegistryKey("Fernwoodlabs");
    // Declined: nothing has been created yet, so there is nothing to undo.
    if (!PassFirstStart(*this))
        return FALSE;

    ReserveExchangeFile();

    char documents[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, TRUE);
    CopyPath(g_szMessage, documents);
    ReadSettings(*this, g_szMessage);

    InitOpenRecord();
    InitSaveRecord();
    BuildFilterString(g_szSaveFilter, SaveFilterTable);
    BuildFilterString(g_szOpenFilter, OpenFilterTable);
    g_ofnOpen.lpstrFilter = g_szOpenFilter;

    switch (ClassifyCommandLine(m_lpCmdLine)) {
    case StartMode::QuickMenu:
        g_bQuickMenu = TRUE;
        break;
    case StartMode::Tray:
        break;
    default:
        RunViewerMode(m_lpCmdLine);
        return FALSE;
    }

    if (!ClaimSingleInstance(IDR_MAINFRAME)) {
        ReleaseExchangeFile();
        return FALSE;
    }
    CKestrelDlg* tray = new CKestrelDlg(GetInstanceClassName().c_str());
    m_pMainWnd = tray;
    tray->ShowWindow(SW_HIDE);
    return TRUE;
}

void CKestrelApp::RunViewerMode(const char* cmdLine) {
    if (ClassifyCommandLine(cmdLine) == StartMode::OpenDialog) {
        g_ofnOpen.lpstrTitle = "View Image File";
        if (!GetOpenFileNameA(&g_ofnOpen)) {
            // The dialog refuses a choice that does not fit the buffer; say why.
            if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
                TellPathTooLong(nullptr);
            ReleaseExchangeFile();
            return;
        }
    } else {
        std::vector<std::string> paths = SplitCommandLinePaths(cmdLine);
        char program[MAX_PATH * 2] = "";
        GetModuleFileNameA(nullptr, program, sizeof program);
        for (size_t i = 0; i + 1 < paths.size(); ++i)
            WinExec(CommandForPath(program, paths[i]).c_str(),
                    g_nShowMaximized == 1 ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        std::string shown = paths.empty() ? std::string() : FixUpLongName(paths.back());
        // A cut path would name another file: refuse it instead.
        if (!CopyPath(g_szSourcePath, shown.c_str())) {
            TellPathTooLong(shown.c_str());
            ReleaseExchangeFile();
            return;
        }
    }
    CImageDlg viewer;
    strcpy(viewer.m_szFileName, g_szSourcePath);
    RememberOpenFolder(*this, g_szSourcePath);
    m_pMainWnd = &viewer;
    viewer.DoModal();
    m_pMainWnd = nullptr;
    ReleaseExchangeFile();
}

int CKestrelApp::ExitInstance() {
    // Also on the quick-menu exit, where the tray window is never destroyed.
    ReleaseExchangeFile();
    return 0;
}

void CKestrelApp::OnOptions() {
    RunOptionsAndApply();
    // A quick-menu run ends with its command; a viewer goes on.
    if (g_bQuickMenu)
        PostQuitMessage(0);
}
