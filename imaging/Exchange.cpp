#include "imaging/Exchange.h"
#include <windows.h>
#include <cstdio>
#include <cstring>

CFile exchangeFile;
char g_szExchangePath[kPathSize];

void ReserveExchangeFile() {
    char prefix[kPathSize];
    DWORD n = GetTempPathA(kPathSize, prefix);
    if (n == 0 || n >= (DWORD)kPathSize - 16)
        prefix[0] = '\0';
    strcat(prefix, "kstmp");
    // A name is claimed by creating it: workers started side by side never share one.
    for (int i = 0; i < 100000; ++i) {
        snprintf(g_szExchangePath, kPathSize, "%s%d.bmp", prefix, i);
        HANDLE claim = CreateFileA(g_szExchangePath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
        if (claim != INVALID_HANDLE_VALUE) {
            CloseHandle(claim);
            break;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_SHARING_VIOLATION)
            break; // no folder to write in: the open below fails as it would
    }
    exchangeFile.Open(g_szExchangePath, kExchangeOpenFlags);
}

bool OpenExchangeFileAt(const char* path) {
    if (!CopyPath(g_szExchangePath, path))
        return false;
    return exchangeFile.Open(g_szExchangePath, kExchangeOpenFlags) != FALSE;
}

void ReleaseExchangeFile() {
    if (!exchangeFile.IsOpen())
        return;
    exchangeFile.Close();
    DeleteFileA(g_szExchangePath);
}

void EmptyExchange() {
    try {
        exchangeFile.SetLength(0);
        exchangeFile.SeekToBegin();
    } catch (CFileException) {
    }
}

CExchangeLoan::CExchangeLoan() {
    exchangeFile.Close();
}

CExchangeLoan::~CExchangeLoan() {
    exchangeFile.Open(g_szExchangePath, kExchangeOpenFlags);
}
