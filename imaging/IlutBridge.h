// The Windows part of the image library's ILUT, which Debian builds without: the
// bound image as a device bitmap, and the bound image drawn on a printer. Written
// over IL alone.
#pragma once
#include <windows.h>
#include "imaging/DevIL.h"

// A device bitmap compatible with hDC holding the bound image's pixels (alpha
// dropped), or null when there is no image or the bitmap cannot be made. The bound
// image is not changed.
HBITMAP ilutConvertToHBitmap(HDC hDC);

// Draws the bound image (alpha dropped) stretched to width x height at (x, y) on
// hDC, normally a printer's page between StartPage and EndPage. False when there
// is no image, its pixels cannot be had, or the device refuses them. The bound
// image is not changed.
ILboolean ilutWinPrint(ILuint x, ILuint y, ILuint width, ILuint height, HDC hDC);
