// The common open and save dialogs, with multi-selection walking.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <string>
#include <vector>
#include "framework/Wnd.h"

typedef void* POSITION;

class CFileDialog {
public:
    CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt = nullptr, LPCSTR lpszFileName = nullptr,
                DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR lpszFilter = nullptr,
                CWnd* pParentWnd = nullptr);

    // IDOK or IDCANCEL.
    INT_PTR DoModal();

    // The selection: a single path, or a folder followed by names in a multi-selection.
    POSITION GetStartPosition() const;
    std::string GetNextPathName(POSITION& pos) const;
    std::string GetPathName() const { return m_ofn.lpstrFile ? m_ofn.lpstrFile : ""; }

    OPENFILENAMEA m_ofn;

private:
    BOOL m_bOpenFileDialog;
    std::string m_strFilter;
    std::vector<char> m_defaultBuffer;
    std::string m_strDefExt;
};
