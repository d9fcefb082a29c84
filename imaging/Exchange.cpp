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
    for (int i = 0;; ++i) {
        snprintf(g_szExchangePath, kPathSize, "%s%d.bmp", prefix, i);
        CFileFind finder;
        if (!finder.FindFile(g_szExchangePath))
            break;
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
