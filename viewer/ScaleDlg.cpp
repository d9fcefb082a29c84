#include "viewer/ScaleDlg.h"
#include <commctrl.h>
#include "resources/resource.h"
#include "viewer/Zoom.h"

BOOL CScaleDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::PostMessageA(GetDlgItem(IDC_SCALE_SPIN), UDM_SETRANGE, 0, MAKELONG(500, 10));
    SetDlgItemInt(m_hWnd, IDC_SCALE_PERCENT, 100, TRUE);
    return TRUE;
}

void CScaleDlg::OnOK() {
    // Not a number reads as 0, so the smallest percentage.
    UINT percent = GetDlgItemInt(m_hWnd, IDC_SCALE_PERCENT, nullptr, FALSE);
    m_dFactor = ClampPercentage(percent) / 100.0;
    EndDialog(IDOK);
}
