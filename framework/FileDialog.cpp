#include "framework/FileDialog.h"
#include <cstring>

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt, LPCSTR lpszFileName, DWORD dwFlags,
                         LPCSTR lpszFilter, CWnd* pParentWnd)
    : m_ofn(), m_bOpenFileDialog(bOpenFileDialog), m_defaultBuffer(MAX_PATH, '\0') {
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = pParentWnd ? pParentWnd->m_hWnd : nullptr;
    m_ofn.Flags = dwFlags | OFN_ENABLESIZING;
    m_ofn.lpstrFile = m_defaultBuffer.data();
    m_ofn.nMaxFile = (DWORD)m_defaultBuffer.size();
    if (lpszFileName)
        lstrcpynA(m_ofn.lpstrFile, lpszFileName, (int)m_ofn.nMaxFile);
    if (lpszDefExt) {
        m_strDefExt = lpszDefExt;
        m_ofn.lpstrDefExt = m_strDefExt.c_str();
    }
    if (lpszFilter) {
        // The framework's filter form separates with '|'; the dialog wants zeros.
        m_strFilter = lpszFilter;
        for (char& c : m_strFilter)
            if (c == '|')
                c = '\0';
        m_strFilter.push_back('\0');
        m_ofn.lpstrFilter = m_strFilter.c_str();
    }
}

INT_PTR CFileDialog::DoModal() {
    BOOL ok = m_bOpenFileDialog ? GetOpenFileNameA(&m_ofn) : GetSaveFileNameA(&m_ofn);
    return ok ? IDOK : IDCANCEL;
}

POSITION CFileDialog::GetStartPosition() const {
    return m_ofn.lpstrFile && m_ofn.lpstrFile[0] ? static_cast<POSITION>(m_ofn.lpstrFile) : nullptr;
}

std::string CFileDialog::GetNextPathName(POSITION& pos) const {
    const char* start = m_ofn.lpstrFile;
    const char* item = static_cast<const char*>(pos);
    bool explorer = (m_ofn.Flags & OFN_EXPLORER) != 0;
    bool multi = (m_ofn.Flags & OFN_ALLOWMULTISELECT) != 0;
    // One file: the buffer holds its full path.
    if (!multi || (explorer && start[strlen(start) + 1] == '\0')) {
        pos = nullptr;
        return start;
    }
    // Several: a folder, then the names, each ended by a zero, the list by two.
    if (item == start)
        item += strlen(start) + 1;
    std::string path = start;
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    path += item;
    const char* next = item + strlen(item) + 1;
    pos = *next ? const_cast<char*>(next) : nullptr;
    return path;
}
