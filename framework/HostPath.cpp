// The one place that knows Kestrel may run as a Winelib module. Under Wine the C
// library and DevIL are Linux code and only open Unix paths; on Windows the path
// is already the right one.
#include "framework/HostPath.h"
#include <windows.h>
#include <cstring>

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
