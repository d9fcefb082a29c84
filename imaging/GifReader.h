// Our own GIF decoder: one image of a GIF87a or GIF89a file becomes an
// uncompressed bottom-up BMP in the exchange file, at 1, 4 or 8 bits by the size of
// its colour table. Holds one BMP row at a time; the state is static, so one
// reader runs at a time. Extensions are skipped: transparency and delays are
// ignored.
#pragma once
#include <windows.h>
#include <cstdio>

// Reads image nImage (counting from 1) of the GIF at path into the empty exchange
// file. 1 when the file cannot be opened, else 0 once the file has been read to its
// trailer. A damaged file ends the process (GifReadFailed); a file with fewer
// images ends it with status 1.
int ReadGifToExchange(LPCSTR lpszPath, int nImage);

// The same from an open stream, which stays open.
void ReadGif(FILE* stream, int nImage);

// "File Error!", the exchange file emptied, then exit status 5. Never returns.
[[noreturn]] void GifReadFailed();
