// Our own GIF decoder: one image of a GIF87a or GIF89a file becomes an
// uncompressed bottom-up BMP in the exchange file, at 1, 4 or 8 bits by the size of
// its colour table. Holds one BMP row at a time; the state is static, so one
// reader runs at a time. Extensions are skipped: transparency and delays are
// ignored.
#pragma once
#include <windows.h>
#include <cstdio>

// Status of the reader. It shows nothing: on kGifReadFailed and kGifReadNoImage the
// caller tells the user ("File Error!", captioned "Kestrel").
const int kGifReadOk = 0;
const int kGifReadCannotOpen = 1; // nothing was written
const int kGifReadNoImage = 2;    // the trailer came before the wanted image
const int kGifReadFailed = 5;     // a damaged file, or the exchange file failed

// Reads image nImage (counting from 1) of the GIF at path into the empty exchange
// file; kGifReadOk once the file has been read to its trailer. On any other status
// the exchange file is empty.
int ReadGifToExchange(LPCSTR lpszPath, int nImage);

// The same from an open stream, which stays open.
int ReadGif(FILE* stream, int nImage);

// Abandons the read in progress: ReadGif empties the exchange file and returns
// kGifReadFailed. Only for the reader's own steps.
[[noreturn]] void GifReadFailed();
