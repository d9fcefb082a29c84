// What differs between a Windows build and the Winelib build. Paths for code that
// does not go through the Win32 file API: the image library and the C stream
// functions open paths of the host system.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdio>

// Writes the host form of a Windows path into out. False when it cannot be
// translated or does not fit.
bool HostPathFor(const char* windowsPath, char* out, size_t outSize);

// fopen on the host form of a Windows path; null when translation or opening fails.
FILE* HostFopen(const char* windowsPath, const char* mode);

// Shows an HTML help file (nCmd and dwData as for HtmlHelp). Under Wine the help
// engine shows blank pages, so the host's own help viewer is started instead.
// False when the file is missing or nothing can show it.
bool ShowHostHelp(const char* helpFile, UINT nCmd, DWORD_PTR dwData, HWND owner);

// The module's instance handle as Windows gives it to every process of this
// program. Under Wine the loader moves the module from process to process.
DWORD_PTR StableInstanceValue(HINSTANCE hInstance);

// The path CreateProcessA takes for a program built beside this one (name without
// ".exe"). Under Wine that is its module, name.exe.so: the name.exe beside it is a
// shell launcher, which Wine starts as a Unix process with no process handle and
// no inherited handles. False when it does not fit.
bool SiblingProgramPath(const char* name, char* out, size_t outSize);
