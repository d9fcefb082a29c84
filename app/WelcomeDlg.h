// The welcome dialog of the very first start, and the start-up step that shows it.
#pragma once
#include "framework/Afx.h"
#include "resources/resource.h"

class CWinApp;

class CNewDlg : public CDialog {
public:
    CNewDlg() : CDialog(IDD_WELCOME) {}

    void OnShowHelpFile();

    DECLARE_MESSAGE_MAP()
};

// The first-run step of start-up: when "first" reads 0 it stores 1 and then shows
// the welcome dialog, so that it appears once only whatever closes it. False when
// the dialog was closed by anything but "Show the tray icon": start-up ends.
bool PassFirstStart(CWinApp& app);
