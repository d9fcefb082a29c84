// The save dialog shared by every save flow: an old-style dialog on template 1537
// with our hook. A caller puts the proposed name into g_szTargetPath, sets the
// per-use fields of g_ofnSave (owner, instance, template, hook, title, filter index)
// and g_bSaveForCapture, then calls GetSaveFileNameA(&g_ofnSave).
#pragma once
#include <windows.h>
#include <commdlg.h>
#include "resources/SaveDialogIds.h"

const WORD kSaveDialogTemplate = IDD_SAVE_DIALOG;

extern OPENFILENAMEA g_ofnSave;

// TRUE only while the dialog asks where to save a capture: shows the clipboard
// button and the colour-depth buttons.
extern BOOL g_bSaveForCapture;
// Bits per pixel chosen for a capture: 1, 4, 8 or 24. Not kept in the settings.
extern WORD g_nCaptureDepth;
// The last capture, or none: what the dialog's clipboard button copies.
extern HBITMAP g_hCaptureBitmap;

// Fills the fields of g_ofnSave that never change after start-up.
void InitSaveRecord();

// Sets the fields every caller sets before a use: owner, instance, template, hook,
// title, the capture flag, and the type that fits the name now in g_szTargetPath.
void PrepareSaveDialog(HWND owner, const char* title, BOOL forCapture);

// A name typed without any "." becomes a PNG. False when ".png" does not fit the
// path buffer (kPathSize), which is then left as it was.
bool AddDefaultExtension(char* path);

// Hook of the save dialog: widens it for the extra controls, shows them only for a
// capture, follows the type list with the name's extension, records the depth and
// puts the capture on the clipboard. Always 0, so the dialog's own handling follows.
UINT_PTR CALLBACK SaveDialogHook(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
