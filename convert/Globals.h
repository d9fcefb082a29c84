// State every open and save flow of a run shares: the settings mirrors, the path
// buffers and the open-dialog record. It lives here, below the tray, the viewer
// and the options dialog, because all of them read and update it.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include "framework/PathBuffer.h"

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
