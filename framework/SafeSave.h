// Writing a file so that a failure never costs the user the file that was there:
// the new contents go to a temporary file in the target's folder, which replaces
// the target only once it is complete and closed without error.
#pragma once
#include <windows.h>
#include <cstddef>
#include <string>

class CSafeSave {
public:
    // Creates the temporary file beside target; Ready() tells whether that worked.
    explicit CSafeSave(const char* target);
    // Removes the temporary file unless it was committed.
    ~CSafeSave();
    CSafeSave(const CSafeSave&) = delete;
    CSafeSave& operator=(const CSafeSave&) = delete;

    bool Ready() const { return !m_strTemp.empty(); }
    // Where the writer puts the new contents (a DOS path).
    const char* TempPath() const { return m_strTemp.c_str(); }
    // Moves the finished temporary file over the target. False (and the target
    // untouched) when it cannot.
    bool Commit();

    // The whole file from memory, every write and the close checked.
    static bool WriteBytes(const char* target, const void* data, size_t size);
    // A copy of source: the copy is complete before it replaces the target.
    static bool CopyFrom(const char* source, const char* target);

private:
    std::string m_strTarget;
    std::string m_strTemp;
    bool m_bCommitted = false;
};
