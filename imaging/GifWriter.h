// Our own GIF encoder: the 8-bit BMP in the exchange file becomes a single-image
// GIF89a, compressed with variable-width LZW. Holds one pixel row at a time; the
// state is static, so one writer runs at a time.
#pragma once
#include <windows.h>
#include <cstdio>

// Returns the colour index of pixel (x, y), rows counting from the top.
typedef int (*GifPixelSource)(int x, int y);

// Writes the GIF of the exchange image to path. Returns only on success; every
// failure ends the process through GifWriteFailed. The exchange file's contents
// stay as they were.
void WriteGifFromExchange(LPCSTR lpszPath);

// Writes a complete GIF to stream and closes it. bits is 1..8 and palette holds
// 2^bits red, green, blue triples.
void GifEncode(FILE* stream, int width, int height, int bits, const BYTE* palette,
               GifPixelSource pixelSource);

// The pixel source of WriteGifFromExchange: reads exchange rows on demand.
int ExchangePixel(int x, int y);

// "File Error!", then exit status 5. Never returns.
[[noreturn]] void GifWriteFailed();
