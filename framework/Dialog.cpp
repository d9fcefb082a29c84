#include "framework/Dialog.h"
#include "framework/WinApp.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    m_bModal = true;
    m_nModalResult = -1;
    HWND hWnd = CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
    if (!hWnd) {
        m_bModal = false;
        return -1;
    }
    bool ownerEnabled = owner && IsWindowEnabled(owner);
    if (ownerEnabled)
        EnableWindow(owner, FALSE);
    // As the platform's modal dialogs do: shown once initialised, unless it has
    // already shown itself or ended.
    if (m_bModal && IsWindow(hWnd) && !IsWindowVisible(hWnd))
        ::ShowWindow(hWnd, SW_SHOWNORMAL);

    MSG msg;
    while (m_bModal && IsWindow(hWnd)) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // A quit request ends the dialog like Cancel, and stays for the outer loop.
            PostQuitMessage(got == 0 ? (int)msg.wParam : 0);
            m_nModalResult = IDCANCEL;
            break;
        }
        if (!PreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    m_bModal = false;
    if (ownerEnabled)
        EnableWindow(owner, TRUE);
    if (IsWindow(hWnd))
        ::DestroyWindow(hWnd);
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bModal = false;
    if (m_hWnd)
        ::ShowWindow(m_hWnd, SW_HIDE);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    return m_hWnd && IsDialogMessageA(m_hWnd, pMsg);
}

bool CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (DispatchMessageMap(message, wParam, lParam, result))
        return true;
    // Buttons, menu items and accelerators all mean OK and Cancel.
    if (message != WM_COMMAND || HIWORD(wParam) > 1)
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
    bool savedDefault = dlg->m_bDefaultWanted;
    dlg->m_current = {message, wParam, lParam};
    dlg->m_bDefaultWanted = false;
    LRESULT result = 0;
    bool handled = dlg->HandleMessage(message, wParam, lParam, &result);
    if (dlg->m_bDefaultWanted)
        handled = false;
    dlg->m_current = saved;
    dlg->m_bDefaultWanted = savedDefault;

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
