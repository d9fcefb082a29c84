#include "imaging/DibReduce.h"
#include <stdlib.h>
#include <string.h>
#include <new>
#include <vector>
#include "imaging/Dib.h"
#include "imaging/Quantize.h"

namespace {
// Largest pixel area we ask the heap for in one block.
const ULONGLONG kMaxImageBytes = 0x7FFFFFFF;

void PackIndices(const BYTE* indices, LONG width, LONG rows, WORD wBits, BYTE* dst, DWORD dstStride) {
    const int perByte = 8 / wBits;
    for (LONG y = 0; y < rows; ++y, indices += width, dst += dstStride)
        for (LONG x = 0; x < width; ++x)
            dst[x / perByte] |= indices[x] << (8 - wBits * (x % perByte + 1));
}
} // namespace

LPBITMAPINFOHEADER ReduceTrueColorDib(const BITMAPINFOHEADER* lpDib, WORD wBits) {
    if (!lpDib || lpDib->biSize != sizeof(BITMAPINFOHEADER) || lpDib->biBitCount != 24 ||
        lpDib->biCompression != BI_RGB || lpDib->biWidth <= 0 || lpDib->biHeight == 0 ||
        (wBits != 1 && wBits != 4 && wBits != 8))
        return nullptr;
    const LONG width = lpDib->biWidth;
    const LONG rows = lpDib->biHeight < 0 ? -lpDib->biHeight : lpDib->biHeight;
    const SPixelRows image = {DibPixels(lpDib), (int)width, (int)rows, DibRowBytes(width, 24)};

    static_assert(sizeof(SPaletteColor) == sizeof(RGBQUAD), "palette entries are colour-table entries");
    std::vector<SPaletteColor> palette;
    try {
        if (wBits == 8)
            palette = PaletteFor8Bits(image);
        else if (!ExactColors(image, 1 << wBits, palette))
            return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }

    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof(bi);
    bi.biWidth = width;
    bi.biHeight = lpDib->biHeight;
    bi.biPlanes = 1;
    bi.biBitCount = wBits;
    const DWORD stride = DibRowBytes(width, wBits);
    if ((ULONGLONG)stride * rows > kMaxImageBytes)
        return nullptr;
    bi.biSizeImage = stride * rows;
    const WORD tableBytes = DibColorTableBytes(&bi);
    BYTE* block = static_cast<BYTE*>(calloc(1, sizeof(bi) + tableBytes + bi.biSizeImage));
    if (!block)
        return nullptr;
    memcpy(block, &bi, sizeof(bi));
    memcpy(block + sizeof(bi), palette.data(), palette.size() * sizeof(SPaletteColor));
    BYTE* pixels = block + sizeof(bi) + tableBytes;
    if (wBits == 8) {
        MapToPalette(image, palette, pixels, stride);
    } else {
        std::vector<BYTE> indices;
        try {
            indices.resize((size_t)width * rows);
        } catch (const std::bad_alloc&) {
            free(block);
            return nullptr;
        }
        MapToPalette(image, palette, indices.data(), width);
        PackIndices(indices.data(), width, rows, wBits, pixels, stride);
    }
    return reinterpret_cast<LPBITMAPINFOHEADER>(block);
}
