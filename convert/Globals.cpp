#include "convert/Globals.h"

int g_nShowMaximized = 0;
int g_nJpegQuality = 99;
int g_nPngInterlace = 0;
char g_szLastSaveName[kPathSize];
char g_szLastOpenName[kPathSize];
char g_szLastSaveDir[kPathSize];
char g_szLastOpenDir[kPathSize];
char g_szSourcePath[kPathSize];
char g_szTargetPath[kPathSize];
char g_szMessage[kPathSize];

OPENFILENAMEA g_ofnOpen;
