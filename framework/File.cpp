#include "framework/File.h"

namespace {
int CauseFromOsError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return CFileException::fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return CFileException::badPath;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return CFileException::accessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return CFileException::diskFull;
    default:
        return CFileException::genericException;
    }
}
} // namespace

CFile::~CFile() {
    Close();
}

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
    Close();
    DWORD access = GENERIC_READ;
    if ((nOpenFlags & 3) == modeWrite)
        access = GENERIC_WRITE;
    else if ((nOpenFlags & 3) == modeReadWrite)
        access = GENERIC_READ | GENERIC_WRITE;

    DWORD share = 0;
    switch (nOpenFlags & 0x70) {
    case shareDenyWrite:
        share = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        share = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default: // exclusive, and the old compatibility mode
        share = 0;
        break;
    }

    DWORD disposition = OPEN_EXISTING;
    if (nOpenFlags & modeCreate)
        disposition = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    HANDLE h = CreateFileA(lpszFileName, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (pError) {
            DWORD error = GetLastError();
            *pError = CFileException(CauseFromOsError(error), (LONG)error, lpszFileName);
        }
        return FALSE;
    }
    m_hFile = h;
    m_strFileName = lpszFileName;
    return TRUE;
}

void CFile::Close() {
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

void CFile::ThrowLastError() const {
    DWORD error = GetLastError();
    throw CFileException(CauseFromOsError(error), (LONG)error, m_strFileName);
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    if (nCount == 0)
        return 0;
    DWORD read = 0;
    if (!ReadFile(m_hFile, lpBuf, nCount, &read, nullptr))
        ThrowLastError();
    return read;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    if (nCount == 0)
        return;
    DWORD written = 0;
    if (!WriteFile(m_hFile, lpBuf, nCount, &written, nullptr))
        ThrowLastError();
    if (written < nCount)
        throw CFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
    LARGE_INTEGER distance, position;
    distance.QuadPart = lOff;
    if (!SetFilePointerEx(m_hFile, distance, &position, nFrom))
        ThrowLastError();
    return position.QuadPart;
}

void CFile::SetLength(ULONGLONG dwNewLen) {
    Seek((LONGLONG)dwNewLen, begin);
    if (!SetEndOfFile(m_hFile))
        ThrowLastError();
}

ULONGLONG CFile::GetLength() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_hFile, &size))
        ThrowLastError();
    return size.QuadPart;
}

ULONGLONG CFile::GetPosition() const {
    LARGE_INTEGER zero, position;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(m_hFile, zero, &position, FILE_CURRENT))
        ThrowLastError();
    return position.QuadPart;
}

BOOL CFileFind::FindFile(LPCSTR lpszName) {
    Close();
    m_hFind = FindFirstFileA(lpszName, &m_next);
    m_hasNext = m_hFind != INVALID_HANDLE_VALUE;
    return m_hasNext;
}

BOOL CFileFind::FindNextFile() {
    if (!m_hasNext)
        return FALSE;
    m_found = m_next;
    m_hasNext = ::FindNextFileA(m_hFind, &m_next) != FALSE;
    return m_hasNext;
}

void CFileFind::Close() {
    if (m_hFind != INVALID_HANDLE_VALUE)
        FindClose(m_hFind);
    m_hFind = INVALID_HANDLE_VALUE;
    m_hasNext = false;
}
