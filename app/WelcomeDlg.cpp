#include "app/WelcomeDlg.h"
#include "convert/Settings.h"
#include "framework/HelpFile.h"
#include "framework/WinApp.h"

// The two check boxes toggle themselves and do nothing else: Kestrel creates no
// shortcuts and writes nothing outside its own profile.
BEGIN_MESSAGE_MAP(CNewDlg, CDialog)
    ON_COMMAND(IDC_SHOW_HELP_FILE, OnShowHelpFile)
END_MESSAGE_MAP()

void CNewDlg::OnShowHelpFile() {
    ShowHelpFile();
}

bool PassFirstStart(CWinApp& app) {
    if (app.GetProfileInt(kSettingsSection, "first", 0) != 0)
        return true;
    app.WriteProfileInt(kSettingsSection, "first", 1);
    CNewDlg welcome;
    return welcome.DoModal() == IDOK;
}
