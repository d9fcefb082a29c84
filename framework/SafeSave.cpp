#include "framework/SafeSave.h"

namespace {
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    return slash == 0 || path[slash - 1] == ':' ? path.substr(0, slash + 1) : path.substr(0, slash);
}
} // namespace

CSafeSave::CSafeSave(const char* target) : m_strTarget(target) {
    char temp[MAX_PATH];
    // Wine answers a number even when it could not create the file, so look.
    if (GetTempFileNameA(FolderOf(m_strTarget).c_str(), "kst", 0, temp) &&
        GetFileAttributesA(temp) != INVALID_FILE_ATTRIBUTES)
        m_strTemp = temp;
}

CSafeSave::~CSafeSave() {
    if (Ready() && !m_bCommitted)
        DeleteFileA(m_strTemp.c_str());
}

bool CSafeSave::Commit() {
    if (!Ready() || m_bCommitted)
        return false;
    m_bCommitted = MoveFileExA(m_strTemp.c_str(), m_strTarget.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
    return m_bCommitted;
}

bool CSafeSave::WriteBytes(const char* target, const void* data, size_t size) {
    CSafeSave save(target);
    if (!save.Ready())
        return false;
    HANDLE file = CreateFileA(save.TempPath(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const char* bytes = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : (DWORD)size, written = 0;
        ok = WriteFile(file, bytes, chunk, &written, nullptr) && written == chunk;
        bytes += chunk;
        size -= chunk;
    }
    ok = CloseHandle(file) && ok;
    return ok && save.Commit();
}

bool CSafeSave::CopyFrom(const char* source, const char* target) {
    CSafeSave save(target);
    return save.Ready() && CopyFileA(source, save.TempPath(), FALSE) && save.Commit();
}
