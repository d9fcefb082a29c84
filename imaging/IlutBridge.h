// The Windows part of the image library's ILUT, which Debian builds without: the
// bound image as a device bitmap. Written over IL alone.
#pragma once
#include <windows.h>

// A device bitmap compatible with hDC holding the bound image's pixels (alpha
// dropped), or null when there is no image or the bitmap cannot be made. The bound
// image is not changed.
HBITMAP ilutConvertToHBitmap(HDC hDC);
