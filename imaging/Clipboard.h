// Putting an image on the clipboard, as the capture's clipboard button and the
// viewer's Copy command do.
#pragma once
#include <windows.h>

// Empties the clipboard and, when there is a bitmap, gives it a copy as CF_DIB (in
// movable memory), CF_BITMAP and a copy of the default palette as CF_PALETTE. What the
// clipboard takes belongs to it; the bitmap stays the caller's.
void PutBitmapOnClipboard(HWND owner, HBITMAP bitmap);
