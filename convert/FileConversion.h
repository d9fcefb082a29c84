// The tray menu's "Convert Image File" and "Batch Convert": the dialogs, the
// proposals from the remembered names, the settings, then the conversion engine.
// The tray window's handlers run these with itself as the owner.
#pragma once
#include <windows.h>

// One file: an open dialog for the source, the save dialog for the target.
void ConvertImageFile(HWND owner);

// Many files: a multi-selection open dialog, then the save dialog for the target
// folder and type; every file keeps its name with the chosen extension.
void ConvertImageFiles(HWND owner);
