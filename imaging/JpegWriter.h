// JPEG encoding through libjpeg-turbo into memory, so that the caller writes the
// bytes and checks the write itself. Byte logic only, no Windows calls.
#pragma once
#include <cstddef>
#include <vector>

// 24-bit pixels: first points at the top row, rows stride bytes apart (negative
// for bottom-up storage such as a DIB's); three bytes per pixel, blue first when
// bgr is set, red first otherwise.
struct SJpegPixels {
    const unsigned char* first;
    int width;
    int height;
    std::ptrdiff_t stride;
    bool bgr;
};

// Baseline JPEG with optimised Huffman tables at quality 1..100 (values outside
// are clamped): full-resolution chroma (4:4:4) at 90 and above, as the chroma of
// coloured text on a screen needs, 4:2:0 below. Full chroma never makes the file
// more than about 1.5 times the 4:2:0 one: where it would, the chroma table is
// made coarser (and for the worst images the 4:2:0 file is written). False on
// empty or oversized input or any encoder error; jpeg then holds nothing.
bool EncodeJpeg(const SJpegPixels& image, int quality, std::vector<unsigned char>& jpeg);

// The lowest quality that keeps full-resolution chroma.
const int kJpegFullChromaQuality = 90;
