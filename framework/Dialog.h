// Modal dialogs on a resource template, with the same message maps as windows.
#pragma once
#include "framework/Wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Runs the dialog modally in our own loop, so that PreTranslateMessage sees every
    // message first; the result is what EndDialog was given (-1 when the dialog could
    // not be made, IDCANCEL when a quit request ended the loop).
    virtual INT_PTR DoModal();
    // Ends the modal loop; the window is destroyed when DoModal returns, if not before.
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // TRUE when the message was handled and must not be dispatched: the dialog
    // keyboard (Tab, Enter, Esc) by default.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    UINT GetTemplateId() const { return m_nIDTemplate; }

    DECLARE_MESSAGE_MAP()

protected:
    // Default() in a handler leaves the message to the dialog manager's own processing,
    // which runs once the handler has returned.
    LRESULT DefWindowProc(UINT, WPARAM, LPARAM) override {
        m_bDefaultWanted = true;
        return 0;
    }

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    // Our map first, then the OK and Cancel buttons, then the application's commands.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    bool m_bDefaultWanted = false;
    bool m_bModal = false;
    INT_PTR m_nModalResult = -1;
};
