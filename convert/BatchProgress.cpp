#include "convert/BatchProgress.h"
#include <cstdio>
#include <cstring>
#include "framework/WinApp.h"
#include "resources/resource.h"

CBatchProgress* CBatchProgress::s_current = nullptr;

namespace {
HWND s_answerWindow = nullptr;
UINT s_answerMessage = 0;

void AnswerWindowMessages() {
    MSG msg;
    while (s_answerWindow && PeekMessageA(&msg, s_answerWindow, s_answerMessage, s_answerMessage, PM_REMOVE))
        DispatchMessageA(&msg);
}
} // namespace

void AnswerWhileConverting(HWND window, UINT message) {
    s_answerWindow = window;
    s_answerMessage = message;
}

CBatchProgress::CBatchProgress(HWND owner, int count) : m_hOwner(owner), m_nCount(count), m_dwStart(GetTickCount()) {
    s_current = this;
}

CBatchProgress::~CBatchProgress() {
    if (s_current == this)
        s_current = nullptr;
    if (m_hWnd)
        DestroyWindow(m_hWnd);
}

bool CBatchProgress::Next(int index, const char* path) {
    // A Cancel seen now stops before this file, and the window still names the last.
    KeepAnswering();
    if (m_bCancelled)
        return false;
    m_nIndex = index;
    lstrcpynA(m_szPath, path, sizeof m_szPath);
    ShowCurrent();
    return true;
}

void CBatchProgress::ShowCurrent() {
    if (!m_hWnd || m_nIndex == 0)
        return;
    char count[64];
    snprintf(count, sizeof count, "File %d of %d", m_nIndex, m_nCount);
    SetDlgItemTextA(m_hWnd, IDC_BATCH_COUNT, count);
    const char* slash = strrchr(m_szPath, '\\');
    SetDlgItemTextA(m_hWnd, IDC_BATCH_NAME, slash ? slash + 1 : m_szPath);
}

void CBatchProgress::KeepAnswering() {
    if (s_current) {
        s_current->ShowIfDue();
        s_current->Pump();
    }
    AnswerWindowMessages();
}

void CBatchProgress::Raise() {
    if (s_current && s_current->m_hWnd)
        SetForegroundWindow(s_current->m_hWnd);
}

void CBatchProgress::ShowIfDue() {
    if (m_hWnd || GetTickCount() - m_dwStart < kBatchProgressDelay)
        return;
    m_hWnd = CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDD_BATCH_PROGRESS), m_hOwner, DialogProc,
                                (LPARAM)this);
    if (!m_hWnd)
        return;
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    ShowCurrent();
}

// Only the window's own messages: the tray's other commands wait for the batch.
void CBatchProgress::Pump() {
    if (!m_hWnd)
        return;
    MSG msg;
    while (PeekMessageA(&msg, m_hWnd, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(m_hWnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

INT_PTR CALLBACK CBatchProgress::DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<CBatchProgress*>(GetWindowLongPtrA(hDlg, DWLP_USER));
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && self) {
        // The file under way is finished; nothing after it starts.
        self->m_bCancelled = true;
        EnableWindow(GetDlgItem(hDlg, IDCANCEL), FALSE);
        return TRUE;
    }
    return FALSE;
}
