// The shared dialog records and remembered names as start-up leaves them, for the
// tests that run the conversion flows in-process.
#pragma once
#include <cstring>
#include <string>
#include "convert/FormatTable.h"
#include "convert/Globals.h"
#include "convert/SaveDialog.h"
#include "convert/Settings.h"

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
