#include "framework/AboutDlg.h"

// OK and Close are the dialog's own; there is nothing else to handle.
BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()
