// The image library's bound image written as JPEG by our encoder: the library's
// own writer always halves the chroma, which smears coloured text.
#pragma once
#include <windows.h>

// Copies the bound image's pixels out of the library and writes them as a JPEG
// file of the given quality; false when there is no image or the write fails.
bool WriteJpegFromLibraryImage(LPCSTR lpszPath, int nQuality);
