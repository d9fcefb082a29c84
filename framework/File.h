// Binary files on the Win32 file API, and the existence search.
#pragma once
#include <windows.h>
#include <string>

// Raised by CFile operations whose platform call fails.
class CFileException {
public:
    enum Cause { none, genericException, fileNotFound, badPath, accessDenied, diskFull, endOfFile };
    CFileException(int cause = none, LONG osError = 0, const std::string& fileName = std::string())
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}
    int m_cause;
    LONG m_lOsError;
    std::string m_strFileName;
};

class CFile {
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE when the file cannot be opened; the cause goes to pError when given.
    BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Closing a file that is not open does nothing.
    void Close();
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

    // Returns the count read (0 at the end). Raises CFileException on failure.
    UINT Read(void* lpBuf, UINT nCount);
    // Raises CFileException on failure, and when fewer bytes were written than asked.
    void Write(const void* lpBuf, UINT nCount);
    ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    void SetLength(ULONGLONG dwNewLen);
    ULONGLONG GetLength() const;
    ULONGLONG GetPosition() const;
    const std::string& GetFilePath() const { return m_strFileName; }

    HANDLE m_hFile = INVALID_HANDLE_VALUE;

private:
    [[noreturn]] void ThrowLastError() const;
    std::string m_strFileName;
};

// Finds files by name or wildcard.
class CFileFind {
public:
    CFileFind() = default;
    ~CFileFind() { Close(); }
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // TRUE when at least one file matches; FindNextFile then steps to it.
    BOOL FindFile(LPCSTR lpszName = "*.*");
    BOOL FindNextFile();
    std::string GetFileName() const { return m_found.cFileName; }
    void Close();

private:
    HANDLE m_hFind = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA m_next = {};
    WIN32_FIND_DATAA m_found = {};
    bool m_hasNext = false;
};
