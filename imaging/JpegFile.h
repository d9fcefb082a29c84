// JPEG files written by our encoder. The new file is written beside the target
// and moved over it only once every byte is on disk, so a failed write leaves
// whatever file was there.
#pragma once
#include <windows.h>

// True for the names the image library would write as JPEG: .jpg, .jpe, .jpeg.
bool IsJpegName(LPCSTR lpszPath);

// Writes the bytes to a new file in the target's folder and then replaces the
// target with it; false (the target untouched) when any step fails.
bool WriteFileReplacing(LPCSTR lpszPath, const void* lpData, DWORD dwBytes);

// A packed DIB of any uncompressed depth the toolkit handles, as a JPEG file of
// the given quality.
bool WriteJpegFromDib(const BITMAPINFOHEADER* lpDib, LPCSTR lpszPath, int nQuality);
