// The small window of a batch that takes a while: which file of how many, its
// name, and Cancel, which stops the batch after the file being converted.
#pragma once
#include <windows.h>

// Messages of this one kind to window (the tray's icon) are answered while a batch
// runs or a worker is waited for; everything else waits for the conversion.
void AnswerWhileConverting(HWND window, UINT message);

// Seen only once a batch has run this long.
const DWORD kBatchProgressDelay = 2000;

class CBatchProgress {
public:
    CBatchProgress(HWND owner, int count);
    ~CBatchProgress();
    CBatchProgress(const CBatchProgress&) = delete;
    CBatchProgress& operator=(const CBatchProgress&) = delete;

    // Before each file (index from 1): shows it, and false once Cancel was pressed.
    bool Next(int index, const char* path);
    // Keeps the window, and the one answered while converting, answering while a
    // file is converted; safe to call without a batch. The window itself appears
    // here once the delay has passed.
    static void KeepAnswering();
    // A batch is under way, its window shown or not yet.
    static bool UnderWay() { return s_current != nullptr; }
    // Brings the window of the batch under way forward, once it shows.
    static void Raise();

    HWND Window() const { return m_hWnd; }

private:
    void ShowIfDue();
    void ShowCurrent();
    void Pump();
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hOwner;
    HWND m_hWnd = nullptr;
    int m_nCount;
    int m_nIndex = 0;
    char m_szPath[MAX_PATH] = "";
    DWORD m_dwStart;
    bool m_bCancelled = false;
    static CBatchProgress* s_current;
};
