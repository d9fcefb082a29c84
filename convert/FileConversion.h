// The tray menu's "Convert Image File" and "Batch Convert": the dialogs, the
// proposals from the remembered names, the settings, then the conversion engine.
// The tray window's handlers run these with itself as the owner.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// One file: an open dialog for the source, the save dialog for the target.
void ConvertImageFile(HWND owner);

// Many files: a multi-selection open dialog, then the save dialog for the target
// folder and type; every file keeps its name with the chosen extension.
void ConvertImageFiles(HWND owner);

// The batch itself: every source into folder (ending in "\\") with the extension,
// in order, a small progress window once it takes a while; Cancel there stops it
// after the file under way.
void ConvertBatch(HWND owner, const std::vector<std::string>& sources, const std::string& folder,
                  const std::string& extension);
