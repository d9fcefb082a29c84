// The about box: the program's version and its maker's notice.
#pragma once
#include "framework/Dialog.h"
#include "resources/resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

    DECLARE_MESSAGE_MAP()
};
