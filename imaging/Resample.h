// Area-averaging resampler for screen bitmaps, in integer fixed point. Every
// target pixel is the sum of the source pixels its area overlaps, each weighted by
// the share of the target pixel it covers; a weight along one axis is in 1/4096,
// the product of both in 1/2^24, and a finished sum becomes a byte by a shift of
// 24 that truncates. Both axes enlarge or both reduce, never one of each.
//
// Working pixel format: 24 bits, blue-green-red, bottom-up rows padded to 4 bytes.
// The row code works on buffers only; ScaleBitmap is the one part that talks to GDI.
#pragma once
#include <windows.h>
#include <vector>

// One pixel of the larger grid of an axis against the smaller one.
struct ScaleStep {
    INT nWeight; // share of the current pixel of the other grid, in 1/4096
    INT nNext;   // > 0: share of the next pixel, then the other grid advances;
                 // -1: it advances without a share of the next; 0: it stays
};

// The weights of one axis: wLarger entries, one per pixel of the larger grid.
// Reducing: wLarger is the source size and wSmaller the target size; enlarging the
// other way round. Empty when wSmaller > wLarger. Throws std::bad_alloc.
std::vector<ScaleStep> BuildScaleTable(WORD wLarger, WORD wSmaller, bool bReducing);

// Bytes of one row of the working format: 3 x width rounded up to 4.
DWORD Dib24Stride(WORD wWidth);
// Bytes of all rows; up to about 12.9 GB, so 64 bits.
ULONGLONG Dib24ImageBytes(WORD wWidth, WORD wHeight);
// The header of a bottom-up 24-bit DIB; its one colour entry is zero. biSizeImage
// is 0 ("work it out") when the image bytes do not fit 32 bits.
BITMAPINFO MakeDib24Header(WORD wWidth, WORD wHeight);

// Fill every pixel of the target rows from the source rows (working format; the
// padding at the end of target rows is not written). ScaleUp24 wants a target at
// least as large as the source on both axes, ScaleDown24 at most as large. They
// return false, without writing, when the sizes do not suit or memory ran out.
// A target size of 0 writes nothing and succeeds.
bool ScaleUp24(const BYTE* pSrc, WORD wSrcWidth, WORD wSrcHeight, BYTE* pDst, WORD wDstWidth,
               WORD wDstHeight);
bool ScaleDown24(const BYTE* pSrc, WORD wSrcWidth, WORD wSrcHeight, BYTE* pDst, WORD wDstWidth,
                 WORD wDstHeight);

// A new bitmap compatible with the screen holding hSource scaled to the given size;
// the caller deletes it with DeleteObject. Returns NULL, with nothing left
// allocated, and sets the thread's last error:
//   ERROR_INVALID_PARAMETER  the request is refused: one axis enlarges while the
//                            other reduces, or a size is negative or above 65535
//                            (sizes are never cut to 16 bits);
//   ERROR_INVALID_HANDLE     hSource is not a bitmap;
//   ERROR_NOT_ENOUGH_MEMORY  the pixels (more than 2 GB in one block, or what the
//                            heap or GDI would not give) could not be had.
// A target width or height of 0 gives what CreateCompatibleBitmap gives for it.
HBITMAP ScaleBitmap(HBITMAP hSource, int nWidth, int nHeight);
