// Our own GIF encoder: the 8-bit BMP in the exchange file becomes a single-image
// GIF89a, compressed with variable-width LZW. Holds one pixel row at a time; the
// state is static, so one writer runs at a time.
#pragma once
#include <windows.h>
#include <cstdio>

// Returns the colour index of pixel (x, y), rows counting from the top.
typedef int (*GifPixelSource)(int x, int y);

// Status of the writer. It shows nothing: on kGifWriteFailed the caller tells the
// user ("File Error!", captioned "Kestrel").
const int kGifWriteOk = 0;
const int kGifWriteFailed = 5;

// Writes the GIF of the exchange image to path. On failure a file the writer had
// begun is removed again; a failure found before the output is created leaves
// whatever was at path. The exchange file's contents stay as they were.
int WriteGifFromExchange(LPCSTR lpszPath);

// Writes a complete GIF to stream and closes it, also on failure. bits is 1..8 and
// palette holds 2^bits red, green, blue triples.
int GifEncode(FILE* stream, int width, int height, int bits, const BYTE* palette, GifPixelSource pixelSource);

// The pixel source of WriteGifFromExchange: reads exchange rows on demand.
int ExchangePixel(int x, int y);

// Abandons the write in progress: the entry point returns kGifWriteFailed. Only for
// the writer's own steps.
[[noreturn]] void GifWriteFailed();
