// The interactive screen capture and the saving of a capture. The state is
// program-wide because the save dialog's hook reads it too.
#pragma once
#include <windows.h>

extern BOOL g_bCaptureMode;      // the window waits for the capture clicks
extern BOOL g_bFirstCorner;      // the first click has fixed the anchor
extern POINT g_ptCaptureAnchor;  // the first click, in screen pixels
extern RECT g_rcCapture;         // the band last drawn; what the second click captures

// TRUE while a capture is pending or under way; the tray icon is ignored meanwhile.
BOOL CaptureBusy();

// Inverts a one-pixel frame round rc and a centred "WxH" label. Everything is an
// exclusive-or, so drawing the same rectangle again restores the screen.
void DrawRubberBand(HDC hdc, const RECT& rc);

// Replaces the last capture (and the palette made with it) by bitmap, releasing
// the old ones. A null bitmap leaves no capture and no palette.
void SetCaptureImage(HBITMAP bitmap);

// Asks where to save the capture and writes it.
void SaveCapture(HWND owner);
