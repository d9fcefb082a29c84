// State shared by the whole process: the exchange file, the mode flag and the
// settings mirrors.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include "framework/File.h"

// Every path buffer: 255 characters and the terminating zero.
const int kPathSize = 256;

// The per-process temporary BMP through which images pass between our own code
// and the image library. Empty and at its start between operations.
extern CFile exchangeFile;
extern char g_szExchangePath[kPathSize];

// TRUE when the process runs the tray menu once ("-q").
extern BOOL g_bQuickMenu;

// Settings mirrors, read once at start-up.
extern int g_nShowMaximized;
extern int g_nJpegQuality;
extern int g_nPngInterlace;
extern char g_szLastSaveName[kPathSize];
extern char g_szLastOpenName[kPathSize];
extern char g_szLastSaveDir[kPathSize];
extern char g_szLastOpenDir[kPathSize];
extern char g_szSourcePath[kPathSize];
extern char g_szTargetPath[kPathSize];
extern char g_szMessage[kPathSize];

// The open-file dialog record shared by "-o" and the single-file conversion.
extern OPENFILENAMEA g_ofnOpen;

// Copies src into a path buffer; false (and dst unchanged) when it does not fit.
bool CopyPath(char* dst, const char* src);
