// The settings kept in the registry profile, section "settings", and the update
// protocol for the last-file buffers.
#pragma once
#include "convert/Globals.h"

class CWinApp;

extern const char kSettingsSection[]; // "settings"

// Reads "sfile", "ofile", "lastdir", "lastodir", "max", "jpgq", "pngi" into the
// globals, in that order. documentsFolder is the default of the two folders.
void ReadSettings(CWinApp& app, const char* documentsFolder);

// Points the open record at the shared buffers (its initial folder, file and title).
void InitOpenRecord();

// Splits a full path at its last backslash into folder and name. False when
// either part does not fit a path buffer.
bool SplitPath(const char* path, char* folder, char* name);

// After a save through the save dialog: folder and name of g_szTargetPath become
// the last save folder and name; "lastdir" and, unless folderOnly, "sfile" are
// written, then the profile is flushed.
void RememberSavedFile(CWinApp& app, bool folderOnly = false);

// After a file has been opened for viewing: "ofile" and "lastodir".
void RememberViewedFile(CWinApp& app, const char* path);

// The folder half of the above, used by start-up in viewer mode.
void RememberOpenFolder(CWinApp& app, const char* path);
