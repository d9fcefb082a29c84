#include "options/OptionsDlg.h"
#include <commctrl.h>
#include "convert/Globals.h"
#include "convert/Settings.h"
#include "framework/WinApp.h"
#include "imaging/DevIL.h"
#include "resources/resource.h"

namespace {
// Read by the dialog, written by nothing in the program.
const char kStartupKey[] = "startup";
const char kQuickLaunchKey[] = "ql";
const char kDesktopKey[] = "desk";

int ProfileFlag(const char* key) {
    CWinApp* app = AfxGetApp();
    return app ? (int)app->GetProfileInt(kSettingsSection, key, 0) : 0;
}

void WriteSetting(const char* key, int value) {
    if (CWinApp* app = AfxGetApp())
        app->WriteProfileInt(kSettingsSection, key, value);
}
} // namespace

int ClampJpegQuality(int quality) {
    if (quality > kMaxJpegQuality)
        return kMaxJpegQuality;
    if (quality < kMinJpegQuality)
        return kMinJpegQuality;
    return quality;
}

BEGIN_MESSAGE_MAP(COpitonsDlg, CDialog)
    ON_EN_CHANGE(IDC_OPTIONS_QUALITY, OnQualityChange)
END_MESSAGE_MAP()

BOOL COpitonsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CheckDlgButton(m_hWnd, IDC_OPTIONS_STARTUP, ProfileFlag(kStartupKey));
    CheckDlgButton(m_hWnd, IDC_OPTIONS_DESKTOP, ProfileFlag(kDesktopKey));
    CheckDlgButton(m_hWnd, IDC_OPTIONS_QUICK_LAUNCH, ProfileFlag(kQuickLaunchKey));
    CheckDlgButton(m_hWnd, IDC_OPTIONS_MAXIMIZED, g_nShowMaximized);
    CheckDlgButton(m_hWnd, IDC_OPTIONS_INTERLACE, g_nPngInterlace);
    // Posted: the range takes effect once the dialog runs its loop.
    ::PostMessageA(GetDlgItem(IDC_OPTIONS_QUALITY_SPIN), UDM_SETRANGE, 0,
                   MAKELONG(kMaxJpegQuality, kMinJpegQuality));
    // A stored value out of range is clamped by the change this causes.
    SetDlgItemInt(m_hWnd, IDC_OPTIONS_QUALITY, g_nJpegQuality, TRUE);
    return TRUE;
}

void COpitonsDlg::OnQualityChange() {
    // Empty or not a number reads as 0.
    int quality = (int)GetDlgItemInt(m_hWnd, IDC_OPTIONS_QUALITY, nullptr, FALSE);
    if (ClampJpegQuality(quality) != quality)
        SetDlgItemInt(m_hWnd, IDC_OPTIONS_QUALITY, ClampJpegQuality(quality), FALSE);
}

void COpitonsDlg::OnOK() {
    // "startup", "desk" and "ql" are shown only: nothing is stored for them.
    int maximized = IsDlgButtonChecked(m_hWnd, IDC_OPTIONS_MAXIMIZED) == BST_CHECKED;
    if (maximized != g_nShowMaximized) {
        g_nShowMaximized = maximized;
        WriteSetting("max", g_nShowMaximized);
    }
    int interlace = IsDlgButtonChecked(m_hWnd, IDC_OPTIONS_INTERLACE) == BST_CHECKED;
    if (interlace != g_nPngInterlace) {
        g_nPngInterlace = interlace;
        WriteSetting("pngi", g_nPngInterlace);
    }
    // Compared before limiting, as read.
    int quality = (int)GetDlgItemInt(m_hWnd, IDC_OPTIONS_QUALITY, nullptr, FALSE);
    if (quality != g_nJpegQuality) {
        g_nJpegQuality = ClampJpegQuality(quality);
        WriteSetting("jpgq", g_nJpegQuality);
    }
    CDialog::OnOK();
}

void RunOptionsDialog() {
    // The quality box's up-down control.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    COpitonsDlg dlg;
    dlg.DoModal();
}

void RunOptionsAndApply() {
    RunOptionsDialog();
    ilSetInteger(IL_JPG_QUALITY, g_nJpegQuality);
    ilSetInteger(IL_PNG_INTERLACE, g_nPngInterlace);
}
