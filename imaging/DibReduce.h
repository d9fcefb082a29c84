// Our own reduction of true-colour DIBs to palette depths, so that an 8-bit copy
// gets a palette made for its image rather than the platform's fixed one.
#pragma once
#include <windows.h>

// A new packed DIB (40-byte header, full colour table, BI_RGB) of a 24-bit BI_RGB
// DIB at 1, 4 or 8 bits. 8 bits always succeeds: the image's own colours when it
// has at most 256 (exact), otherwise an adaptive palette with every pixel mapped
// to its nearest colour. 1 and 4 bits succeed only when the image has at most 2 or
// 16 colours, which are then kept exactly; otherwise, and on any other input or
// when memory is short, the result is null.
LPBITMAPINFOHEADER ReduceTrueColorDib(const BITMAPINFOHEADER* lpDib, WORD wBits);
