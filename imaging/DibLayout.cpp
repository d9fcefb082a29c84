// The size rules of the packed DIB layout. Plain byte logic without GDI calls, so
// the BMP reader that depends on it also builds natively for the fuzzer.
#include "imaging/Dib.h"
#include <stdlib.h>

namespace {
// The core header's bit count sits at offset 10 (bcSize u32, bcWidth, bcHeight, bcPlanes u16).
WORD CoreBitCount(const BITMAPINFOHEADER* lpHeader) {
    return reinterpret_cast<const BITMAPCOREHEADER*>(lpHeader)->bcBitCount;
}

WORD FullTableEntries(WORD wBitCount) {
    switch (wBitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}
} // namespace

WORD DibColorTableBytes(const BITMAPINFOHEADER* lpHeader) {
    if (lpHeader->biSize != sizeof(BITMAPINFOHEADER))
        return (WORD)(FullTableEntries(CoreBitCount(lpHeader)) * sizeof(RGBTRIPLE));
    if (lpHeader->biClrUsed != 0)
        return (WORD)(lpHeader->biClrUsed * sizeof(RGBQUAD));
    return (WORD)(FullTableEntries(lpHeader->biBitCount) * sizeof(RGBQUAD));
}

WORD DibColorCount(const BITMAPINFOHEADER* lpHeader) {
    if (lpHeader->biSize != sizeof(BITMAPINFOHEADER))
        return FullTableEntries(CoreBitCount(lpHeader));
    if (lpHeader->biClrUsed != 0)
        return (WORD)lpHeader->biClrUsed;
    return FullTableEntries(lpHeader->biBitCount);
}

DWORD DibRowBytes(DWORD dwWidth, WORD wBitCount) {
    return (wBitCount * dwWidth + 31) / 32 * 4;
}

BYTE* DibPixels(const BITMAPINFOHEADER* lpDib) {
    const BYTE* p = reinterpret_cast<const BYTE*>(lpDib);
    return const_cast<BYTE*>(p + lpDib->biSize + DibColorTableBytes(lpDib));
}

void FreeDib(LPBITMAPINFOHEADER lpDib) {
    free(lpDib);
}
