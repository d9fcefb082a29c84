// Modal dialogs on a resource template, with the same message maps as windows.
#pragma once
#include "framework/Wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Runs the dialog modally; the result is what EndDialog was given (-1 on failure).
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    UINT GetTemplateId() const { return m_nIDTemplate; }

    DECLARE_MESSAGE_MAP()

protected:
    LRESULT DefWindowProc(UINT, WPARAM, LPARAM) override { return 0; }

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    // Our map first, then the OK and Cancel buttons, then the application's commands.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};
