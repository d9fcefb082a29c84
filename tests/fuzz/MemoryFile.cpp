// CFile on an in-memory buffer with the framework's semantics: Read returns the
// count read (0 at the end), Seek past the end is allowed and a later Write fills
// the gap with zeros, SetLength leaves the position at the new end, and a Seek
// before the start raises CFileException as the platform call would fail.
#include "tests/fuzz/MemoryFile.h"
#include <algorithm>
#include <cstring>
#include <map>

namespace {
struct Buffer {
    std::vector<BYTE> bytes;
    ULONGLONG position = 0;
};
// Never destroyed: global CFile objects are destroyed after function statics.
std::map<const CFile*, Buffer>& Buffers() {
    static auto* buffers = new std::map<const CFile*, Buffer>;
    return *buffers;
}
// The last file asked for: every call of a run goes to the exchange file.
const CFile* s_lastFile = nullptr;
Buffer* s_lastBuffer = nullptr;
Buffer& BufferOf(const CFile* file) {
    if (file != s_lastFile) {
        s_lastBuffer = &Buffers()[file];
        s_lastFile = file;
    }
    return *s_lastBuffer;
}

// Any non-null value marks the file as open; nothing is ever passed to Win32.
HANDLE const kOpen = reinterpret_cast<HANDLE>(1);
} // namespace

void MemoryFileLoad(CFile& file, const void* data, size_t size) {
    Buffer& b = BufferOf(&file);
    b.bytes.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    b.position = 0;
    file.m_hFile = kOpen;
}

const std::vector<BYTE>& MemoryFileContents(const CFile& file) {
    return BufferOf(&file).bytes;
}

CFile::~CFile() {
    if (s_lastFile == this)
        s_lastFile = nullptr;
    Buffers().erase(this);
}

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException*) {
    Buffer& b = BufferOf(this);
    if (nOpenFlags & modeCreate && !(nOpenFlags & modeNoTruncate))
        b.bytes.clear();
    b.position = 0;
    m_hFile = kOpen;
    m_strFileName = lpszFileName ? lpszFileName : "";
    return TRUE;
}

void CFile::Close() {
    m_hFile = INVALID_HANDLE_VALUE;
}

void CFile::ThrowLastError() const {
    throw CFileException(CFileException::genericException, 0, m_strFileName);
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    Buffer& b = BufferOf(this);
    if (!IsOpen())
        ThrowLastError();
    if (b.position >= b.bytes.size())
        return 0;
    const UINT n = (UINT)std::min<ULONGLONG>(nCount, b.bytes.size() - b.position);
    memcpy(lpBuf, b.bytes.data() + b.position, n);
    b.position += n;
    return n;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    Buffer& b = BufferOf(this);
    if (!IsOpen())
        ThrowLastError();
    if (b.bytes.size() < b.position + nCount)
        b.bytes.resize((size_t)(b.position + nCount));
    memcpy(b.bytes.data() + b.position, lpBuf, nCount);
    b.position += nCount;
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
    Buffer& b = BufferOf(this);
    LONGLONG base = nFrom == begin ? 0 : nFrom == current ? (LONGLONG)b.position : (LONGLONG)b.bytes.size();
    if (!IsOpen() || base + lOff < 0)
        ThrowLastError();
    b.position = (ULONGLONG)(base + lOff);
    return b.position;
}

void CFile::SetLength(ULONGLONG dwNewLen) {
    Buffer& b = BufferOf(this);
    if (!IsOpen())
        ThrowLastError();
    b.bytes.resize((size_t)dwNewLen);
    b.position = dwNewLen;
}

ULONGLONG CFile::GetLength() const {
    return BufferOf(this).bytes.size();
}

ULONGLONG CFile::GetPosition() const {
    return BufferOf(this).position;
}
