// For the tests that run the conversion flows in-process: the shared dialog records
// and remembered names as start-up leaves them, and what ImageMagick sees in a file.
#pragma once
#include <cstdio>
#include <cstring>
#include <string>
#include "convert/FormatTable.h"
#include "convert/Globals.h"
#include "convert/SaveDialog.h"
#include "convert/Settings.h"
#include "tests/support/TestFiles.h"

inline void PrepareConversionRecords(const std::string& openDir, const std::string& saveDir) {
    BuildFilterString(g_szSaveFilter, SaveFilterTable);
    BuildFilterString(g_szOpenFilter, OpenFilterTable);
    InitSaveRecord();
    InitOpenRecord();
    g_ofnOpen.lpstrFilter = g_szOpenFilter;
    strcpy(g_szLastOpenName, "Image1.png");
    strcpy(g_szLastSaveName, "Image1.png");
    lstrcpynA(g_szLastOpenDir, openDir.c_str(), kPathSize);
    lstrcpynA(g_szLastSaveDir, saveDir.c_str(), kPathSize);
}

// "PNG 32x24" and the like, as ImageMagick identifies the file; empty when it cannot.
inline std::string Identify(const std::string& path) {
    std::string command =
        "/usr/bin/identify -format '%m %wx%h' '" + testfiles::HostPath(path) + "[0]' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    char line[128] = "";
    if (pipe) {
        if (!fgets(line, sizeof line, pipe))
            line[0] = 0;
        pclose(pipe);
    }
    return line;
}
