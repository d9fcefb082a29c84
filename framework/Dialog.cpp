#include "framework/Dialog.h"
#include "framework/WinApp.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    return DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int nResult) {
    ::EndDialog(m_hWnd, nResult);
}

bool CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (DispatchMessageMap(message, wParam, lParam, result))
        return true;
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return false;
    *result = 0;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    }
    return AfxGetApp() && AfxGetApp()->DispatchCommand(LOWORD(wParam));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dlg = static_cast<CDialog*>(CWnd::FromHandle(hWnd));
    if (message == WM_INITDIALOG) {
        dlg = reinterpret_cast<CDialog*>(lParam);
        dlg->Attach(hWnd);
        return dlg->OnInitDialog();
    }
    if (!dlg)
        return FALSE;

    CWnd::CurrentMessage saved = dlg->m_current;
    dlg->m_current = {message, wParam, lParam};
    LRESULT result = 0;
    bool handled = dlg->HandleMessage(message, wParam, lParam, &result);
    dlg->m_current = saved;

    if (message == WM_NCDESTROY) {
        dlg->Detach();
        return FALSE;
    }
    if (!handled)
        return FALSE;
    // Messages whose answer is the procedure's own return value.
    if ((message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_QUERYDRAGICON)
        return result;
    SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
