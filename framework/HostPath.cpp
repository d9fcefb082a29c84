// The one place that knows Kestrel may run as a Winelib module. Under Wine the C
// library and DevIL are Linux code and only open Unix paths, and help needs a
// viewer of the host; on Windows the path is already the right one.
#include "framework/HostPath.h"
#include <windows.h>
#include <cstring>
#ifdef __WINE__
#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <htmlhelp.h>
#endif

#ifdef __WINE__
extern "C" char* CDECL wine_get_unix_file_name(LPCWSTR dosW);

bool HostPathFor(const char* windowsPath, char* out, size_t outSize) {
    if (!windowsPath || !out || outSize == 0)
        return false;
    WCHAR wide[MAX_PATH * 4];
    if (!MultiByteToWideChar(CP_ACP, 0, windowsPath, -1, wide, (int)(sizeof wide / sizeof wide[0])))
        return false;
    char* unixPath = wine_get_unix_file_name(wide);
    if (!unixPath)
        return false;
    size_t len = strlen(unixPath);
    bool fits = len < outSize;
    if (fits)
        memcpy(out, unixPath, len + 1);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return fits;
}
#else
bool HostPathFor(const char* windowsPath, char* out, size_t outSize) {
    if (!windowsPath || !out || outSize == 0)
        return false;
    size_t len = strlen(windowsPath);
    if (len >= outSize)
        return false;
    memcpy(out, windowsPath, len + 1);
    return true;
}
#endif

DWORD_PTR StableInstanceValue(HINSTANCE hInstance) {
#ifdef __WINE__
    // Windows loads every process of a 32-bit program at its preferred base.
    (void)hInstance;
    return 0x400000;
#else
    return reinterpret_cast<DWORD_PTR>(hInstance);
#endif
}

FILE* HostFopen(const char* windowsPath, const char* mode) {
    char hostPath[MAX_PATH * 4];
    if (!HostPathFor(windowsPath, hostPath, sizeof hostPath))
        return nullptr;
    return fopen(hostPath, mode);
}

#ifdef __WINE__
// Under Wine the program is a Linux process too, so the viewer is started
// directly. A shell starts it in the background and answers at once whether it
// could: that reaps our child and leaves no zombie behind.
bool ShowHostHelp(const char* helpFile, UINT, DWORD_PTR, HWND) {
    DWORD attributes = GetFileAttributesA(helpFile);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    char hostPath[MAX_PATH * 4];
    if (!HostPathFor(helpFile, hostPath, sizeof hostPath))
        return false;
    static const char kScript[] = "command -v xchm >/dev/null 2>&1 || exit 127\n"
                                  "xchm \"$1\" </dev/null >/dev/null 2>&1 &\n";
    char shell[] = "/bin/sh", dashC[] = "-c", script[sizeof kScript], name[] = "kestrel-help";
    memcpy(script, kScript, sizeof kScript);
    char* argv[] = {shell, dashC, script, name, hostPath, nullptr};
    pid_t pid;
    if (posix_spawn(&pid, shell, nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#else
bool ShowHostHelp(const char* helpFile, UINT nCmd, DWORD_PTR dwData, HWND owner) {
    return ::HtmlHelpA(owner, helpFile, nCmd, dwData) != nullptr;
}
#endif

bool SiblingProgramPath(const char* name, char* out, size_t outSize) {
    char module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
    if (n == 0 || n >= sizeof module)
        return false;
    char* slash = strrchr(module, '\\');
    size_t folder = slash ? (size_t)(slash + 1 - module) : 0;
#ifdef __WINE__
    const char* suffix = ".exe.so";
#else
    const char* suffix = ".exe";
#endif
    if (folder + strlen(name) + strlen(suffix) >= outSize)
        return false;
    memcpy(out, module, folder);
    strcpy(out + folder, name);
    strcat(out, suffix);
    return true;
}
