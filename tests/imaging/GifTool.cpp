// Runs the GIF reader or writer on files, for scripts that compare them with
// other codecs.
//   gif_tool read <gif> <image number> <exchange file>   exit 10 + status
//   gif_tool write <exchange file> <gif>                 exit 10 + status
// The exchange file is opened as the program opens it; "read" creates it empty,
// "write" keeps what it holds.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "imaging/Exchange.h"
#include "imaging/GifReader.h"
#include "imaging/GifWriter.h"

const int kToolExitBase = 10;

static bool OpenExchange(const char* path, bool keep) {
    if (!CopyPath(g_szExchangePath, path))
        return false;
    UINT flags = kExchangeOpenFlags;
    if (keep)
        flags |= CFile::modeNoTruncate;
    return exchangeFile.Open(g_szExchangePath, flags) != FALSE;
}

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "read") == 0) {
        if (!OpenExchange(argv[4], false))
            return 2;
        int result = ReadGifToExchange(argv[2], atoi(argv[3]));
        exchangeFile.Close();
        return kToolExitBase + result;
    }
    if (argc == 4 && strcmp(argv[1], "write") == 0) {
        if (!OpenExchange(argv[2], true))
            return 2;
        int status = WriteGifFromExchange(argv[3]);
        exchangeFile.Close();
        return kToolExitBase + status;
    }
    fprintf(stderr, "usage: gif_tool read <gif> <n> <exchange> | write <exchange> <gif>\n");
    return 2;
}
