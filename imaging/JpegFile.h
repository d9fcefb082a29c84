// JPEG files written by our encoder, through the safe save (framework/SafeSave.h):
// a failed write leaves whatever file was there.
#pragma once
#include <windows.h>

// True for the names the image library would write as JPEG: .jpg, .jpe, .jpeg.
bool IsJpegName(LPCSTR lpszPath);

// A packed DIB of any uncompressed depth the toolkit handles, as a JPEG file of
// the given quality.
bool WriteJpegFromDib(const BITMAPINFOHEADER* lpDib, LPCSTR lpszPath, int nQuality);
