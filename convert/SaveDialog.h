// The save dialog shared by every save flow: an old-style dialog on template 1537
// with our hook.
#pragma once
#include <windows.h>
#include <commdlg.h>

extern OPENFILENAMEA g_ofnSave;

// Fills the fields of g_ofnSave that never change after start-up.
void InitSaveRecord();
