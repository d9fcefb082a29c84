// The DIB toolkit on GDI: screen grabs, device bitmaps <-> packed DIBs, depth
// changes and palettes. No state of its own; every result belongs to the caller.
#include "imaging/Dib.h"
#include "framework/Gdi.h"
#include "imaging/DibReduce.h"
#include <stdlib.h>
#include <string.h>
#include <memory>
#include <vector>

HPALETTE g_hScreenPalette = nullptr;

namespace {
struct FreeDibDeleter {
    void operator()(BITMAPINFOHEADER* p) const { FreeDib(p); }
};
typedef std::unique_ptr<BITMAPINFOHEADER, FreeDibDeleter> DibHolder;

// Largest pixel area we ask the heap for in one block.
const ULONGLONG kMaxImageBytes = 0x7FFFFFFF;

// Selects a palette into a DC in the foreground and realises it; on scope exit the
// previous palette goes back (in the background unless told otherwise) and is
// realised, so no palette of ours stays selected in the screen context.
class CRealizedPalette {
public:
    CRealizedPalette(HDC hDC, HPALETTE hPalette, BOOL bRestoreInBackground = TRUE)
        : m_hDC(hDC), m_bBackground(bRestoreInBackground),
          m_hOld(hPalette ? SelectPalette(hDC, hPalette, FALSE) : nullptr) {
        RealizePalette(hDC);
    }
    ~CRealizedPalette() {
        if (m_hOld) {
            SelectPalette(m_hDC, m_hOld, m_bBackground);
            RealizePalette(m_hDC);
        }
    }
    CRealizedPalette(const CRealizedPalette&) = delete;
    CRealizedPalette& operator=(const CRealizedPalette&) = delete;

private:
    HDC m_hDC;
    BOOL m_bBackground;
    HPALETTE m_hOld;
};

BITMAPINFOHEADER MakeHeader(LONG nWidth, LONG nHeight, WORD wBitCount, DWORD dwCompression) {
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof(BITMAPINFOHEADER);
    bi.biWidth = nWidth;
    bi.biHeight = nHeight;
    bi.biPlanes = 1;
    bi.biBitCount = wBitCount;
    bi.biCompression = dwCompression;
    return bi;
}

// The depth and compression pairs a DIB can be made at; false for any other.
bool DepthForRequest(WORD wBitCount, DWORD dwCompression, WORD* pBits) {
    switch (wBitCount) {
    case 0:
        if (dwCompression != BI_RLE4 && dwCompression != BI_RLE8)
            return false;
        *pBits = dwCompression == BI_RLE4 ? 4 : 8;
        return true;
    case 1:
    case 24:
        *pBits = wBitCount;
        return dwCompression == BI_RGB;
    case 4:
        *pBits = 4;
        return dwCompression == BI_RGB || dwCompression == BI_RLE4;
    case 8:
        *pBits = 8;
        return dwCompression == BI_RGB || dwCompression == BI_RLE8;
    default:
        return false;
    }
}

// Bytes of uncompressed rows, or 0 when they cannot be had in one block.
DWORD UnpackedImageBytes(const BITMAPINFOHEADER& bi) {
    const ULONGLONG rows = bi.biHeight < 0 ? -(LONGLONG)bi.biHeight : bi.biHeight;
    const ULONGLONG bytes = ((ULONGLONG)bi.biBitCount * (DWORD)bi.biWidth + 31) / 32 * 4 * rows;
    return bytes <= kMaxImageBytes ? (DWORD)bytes : 0;
}

LPBITMAPINFOHEADER GrowDib(DibHolder& dib, size_t bytes) {
    void* grown = realloc(dib.get(), bytes);
    if (!grown)
        return nullptr;
    dib.release();
    dib.reset(static_cast<LPBITMAPINFOHEADER>(grown));
    return dib.get();
}

HPALETTE PaletteFromColorTable(const BITMAPINFOHEADER* lpDib) {
    const WORD nColors = DibColorCount(lpDib);
    std::vector<DWORD> record(2 + nColors);
    LOGPALETTE* lpPal = reinterpret_cast<LOGPALETTE*>(record.data());
    lpPal->palVersion = 0x300;
    lpPal->palNumEntries = nColors;
    const bool core = lpDib->biSize != sizeof(BITMAPINFOHEADER);
    const BYTE* entry = reinterpret_cast<const BYTE*>(lpDib) + lpDib->biSize;
    for (WORD i = 0; i < nColors; ++i, entry += core ? sizeof(RGBTRIPLE) : sizeof(RGBQUAD)) {
        lpPal->palPalEntry[i].peBlue = entry[0];
        lpPal->palPalEntry[i].peGreen = entry[1];
        lpPal->palPalEntry[i].peRed = entry[2];
        lpPal->palPalEntry[i].peFlags = 0;
    }
    return CreatePalette(lpPal);
}

BYTE GetIndex(const BYTE* row, LONG x, WORD wBits) {
    const int perByte = 8 / wBits;
    const int shift = 8 - wBits * (x % perByte + 1);
    return (row[x / perByte] >> shift) & ((1 << wBits) - 1);
}

void SetIndex(BYTE* row, LONG x, WORD wBits, BYTE index) {
    const int perByte = 8 / wBits;
    const int shift = 8 - wBits * (x % perByte + 1);
    row[x / perByte] |= index << shift;
}

// Raising a colour-table DIB to 4 or 8 bits (or copying it at its own depth) is
// done here rather than through a device bitmap: Wine's GetDIBits replaces a table
// of 8 bits or fewer with its own fixed colours, whatever palette is realised, and
// the image would lose its colours. Widening the indices and copying the table is
// exact.
bool IsIndexRaise(const BITMAPINFOHEADER* lpDib, WORD wBits, DWORD dwCompression) {
    const WORD wSrcBits = lpDib->biBitCount;
    return lpDib->biSize == sizeof(BITMAPINFOHEADER) && lpDib->biCompression == BI_RGB &&
           dwCompression == BI_RGB && (wSrcBits == 1 || wSrcBits == 4 || wSrcBits == 8) &&
           (wBits == 4 || wBits == 8 || wBits == wSrcBits) && wBits >= wSrcBits && lpDib->biWidth > 0;
}

LPBITMAPINFOHEADER RaiseIndexDepth(const BITMAPINFOHEADER* lpDib, WORD wBits) {
    BITMAPINFOHEADER bi = MakeHeader(lpDib->biWidth, lpDib->biHeight, wBits, BI_RGB);
    bi.biSizeImage = UnpackedImageBytes(bi);
    if (bi.biSizeImage == 0)
        return nullptr;
    const WORD tableBytes = DibColorTableBytes(&bi);
    DibHolder dib(static_cast<LPBITMAPINFOHEADER>(calloc(1, sizeof(bi) + tableBytes + bi.biSizeImage)));
    if (!dib)
        return nullptr;
    *dib = bi;

    const WORD nColors = DibColorCount(lpDib) < tableBytes / sizeof(RGBQUAD) ? DibColorCount(lpDib)
                                                                             : tableBytes / sizeof(RGBQUAD);
    memcpy(reinterpret_cast<BYTE*>(dib.get()) + sizeof(bi), reinterpret_cast<const BYTE*>(lpDib) + sizeof(bi),
           nColors * sizeof(RGBQUAD));

    const WORD wSrcBits = lpDib->biBitCount;
    const DWORD srcStride = DibRowBytes(lpDib->biWidth, wSrcBits);
    const DWORD dstStride = DibRowBytes(bi.biWidth, wBits);
    const LONG rows = bi.biHeight < 0 ? -bi.biHeight : bi.biHeight;
    const BYTE* src = DibPixels(lpDib);
    BYTE* dst = DibPixels(dib.get());
    for (LONG y = 0; y < rows; ++y, src += srcStride, dst += dstStride)
        for (LONG x = 0; x < bi.biWidth; ++x)
            SetIndex(dst, x, wBits, GetIndex(src, x, wSrcBits));
    return dib.release();
}

// Packs uncompressed 4- or 8-bit rows as BI_RLE4 or BI_RLE8. Wine's GetDIBits does
// not write run-length data, so the rows are read uncompressed and packed here.
// Only encoded runs are used (a count and one index repeated), each row ends with
// 0,0 and the image with 0,1: a valid stream every decoder reads.
LPBITMAPINFOHEADER RunLengthFromDib(const BITMAPINFOHEADER* lpDib) {
    const WORD wBits = lpDib->biBitCount;
    if ((wBits != 4 && wBits != 8) || lpDib->biCompression != BI_RGB || lpDib->biHeight <= 0)
        return nullptr;
    std::vector<BYTE> runs;
    const DWORD stride = DibRowBytes(lpDib->biWidth, wBits);
    const BYTE* row = DibPixels(lpDib);
    for (LONG y = 0; y < lpDib->biHeight; ++y, row += stride) {
        for (LONG x = 0; x < lpDib->biWidth;) {
            const BYTE index = GetIndex(row, x, wBits);
            LONG n = 1;
            while (n < 255 && x + n < lpDib->biWidth && GetIndex(row, x + n, wBits) == index)
                ++n;
            runs.push_back((BYTE)n);
            runs.push_back(wBits == 8 ? index : (BYTE)(index << 4 | index));
            x += n;
        }
        runs.push_back(0);
        runs.push_back(y + 1 < lpDib->biHeight ? 0 : 1);
    }
    const WORD tableBytes = DibColorTableBytes(lpDib);
    DibHolder dib(static_cast<LPBITMAPINFOHEADER>(malloc(lpDib->biSize + tableBytes + runs.size())));
    if (!dib)
        return nullptr;
    memcpy(dib.get(), lpDib, lpDib->biSize + tableBytes);
    dib->biCompression = wBits == 8 ? BI_RLE8 : BI_RLE4;
    dib->biSizeImage = (DWORD)runs.size();
    memcpy(DibPixels(dib.get()), runs.data(), runs.size());
    return dib.release();
}

// Run-length output the platform would not make: the same depth uncompressed,
// then packed here.
template <class F> LPBITMAPINFOHEADER PackedRunLength(F uncompressed) {
    DibHolder plain(uncompressed());
    return plain ? RunLengthFromDib(plain.get()) : nullptr;
}

// Palette depths from true colour by our own reduction rather than the platform's
// fixed halftone table: an adaptive palette at 8 bits, exact colours at 1 and 4
// bits when the image has that few. Null when ours does not apply.
LPBITMAPINFOHEADER ReducedDib(const BITMAPINFOHEADER* lpDib24, WORD wBits, DWORD dwCompression) {
    if (!lpDib24)
        return nullptr;
    if (dwCompression != BI_RGB)
        return PackedRunLength([&] { return ReduceTrueColorDib(lpDib24, wBits); });
    return ReduceTrueColorDib(lpDib24, wBits);
}
} // namespace

HBITMAP GrabScreenRect(const RECT& rc) {
    if (rc.right - rc.left <= 0 || rc.bottom - rc.top <= 0)
        return nullptr;
    CCreatedDC screen(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!screen)
        return nullptr;
    CCreatedDC memory(CreateCompatibleDC(screen));
    if (!memory)
        return nullptr;

    const LONG left = rc.left < 0 ? 0 : rc.left;
    const LONG top = rc.top < 0 ? 0 : rc.top;
    const LONG right = rc.right > GetDeviceCaps(screen, HORZRES) ? GetDeviceCaps(screen, HORZRES) : rc.right;
    const LONG bottom =
        rc.bottom > GetDeviceCaps(screen, VERTRES) ? GetDeviceCaps(screen, VERTRES) : rc.bottom;
    // A rectangle wholly off the display has nothing to copy; a bitmap of no size
    // would come back as the stock 1x1 bitmap.
    if (right <= left || bottom <= top)
        return nullptr;

    CGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen, right - left, bottom - top));
    if (!bitmap)
        return nullptr;
    {
        CSelectObject select(memory, bitmap);
        if (!BitBlt(memory, 0, 0, right - left, bottom - top, screen, left, top, SRCCOPY))
            return nullptr;
    }
    return bitmap.Release();
}

LPBITMAPINFOHEADER DibFromBitmap(HBITMAP hBitmap, HPALETTE hPalette) {
    BITMAP bm;
    if (!hBitmap || !GetObjectA(hBitmap, sizeof(bm), &bm))
        return nullptr;
    if (!hPalette)
        hPalette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    const int depth = bm.bmPlanes * bm.bmBitsPixel;
    const WORD wBits = depth <= 1 ? 1 : depth <= 4 ? 4 : depth <= 8 ? 8 : 24;
    const BITMAPINFOHEADER bi = MakeHeader(bm.bmWidth, bm.bmHeight, wBits, BI_RGB);

    CClientDC screen(nullptr);
    if (!screen)
        return nullptr;
    CRealizedPalette palette(screen, hPalette);
    DibHolder dib(static_cast<LPBITMAPINFOHEADER>(malloc(sizeof(bi) + DibColorTableBytes(&bi))));
    if (!dib)
        return nullptr;
    *dib = bi;
    GetDIBits(screen, hBitmap, 0, bi.biHeight, nullptr, reinterpret_cast<LPBITMAPINFO>(dib.get()),
              DIB_RGB_COLORS);

    DWORD imageBytes = dib->biSizeImage;
    if (imageBytes == 0)
        imageBytes = UnpackedImageBytes(*dib);
    if (imageBytes == 0 || !GrowDib(dib, dib->biSize + DibColorTableBytes(dib.get()) + imageBytes))
        return nullptr;
    if (!GetDIBits(screen, hBitmap, 0, dib->biHeight, DibPixels(dib.get()),
                   reinterpret_cast<LPBITMAPINFO>(dib.get()), DIB_RGB_COLORS))
        return nullptr;
    return dib.release();
}

LPBITMAPINFOHEADER AllocDibForBitmap(BITMAPINFOHEADER bi, HBITMAP hBitmap) {
    if (bi.biSize != sizeof(BITMAPINFOHEADER))
        return nullptr;
    const WORD tableBytes = DibColorTableBytes(&bi);
    DibHolder dib(static_cast<LPBITMAPINFOHEADER>(malloc(bi.biSize + tableBytes)));
    if (!dib)
        return nullptr;
    *dib = bi;
    {
        CClientDC screen(nullptr);
        GetDIBits(screen, hBitmap, 0, bi.biHeight, nullptr, reinterpret_cast<LPBITMAPINFO>(dib.get()),
                  DIB_RGB_COLORS);
    }
    if (dib->biSizeImage == 0)
        dib->biSizeImage = UnpackedImageBytes(*dib);
    // Room for the larger of the two tables, should the platform have changed the count.
    const WORD completedTableBytes = DibColorTableBytes(dib.get());
    const size_t bytes = (size_t)bi.biSize +
                         (tableBytes > completedTableBytes ? tableBytes : completedTableBytes) +
                         dib->biSizeImage;
    if (dib->biSizeImage == 0 || !GrowDib(dib, bytes))
        return nullptr;
    return dib.release();
}

namespace {
LPBITMAPINFOHEADER ReadBitmapAtDepth(HBITMAP hBitmap, const BITMAPINFOHEADER& bi, HPALETTE hPalette) {
    DibHolder dib(AllocDibForBitmap(bi, hBitmap));
    if (!dib)
        return nullptr;
    CClientDC screen(nullptr);
    if (!screen)
        return nullptr;
    CRealizedPalette palette(screen, hPalette);
    if (!GetDIBits(screen, hBitmap, 0, dib->biHeight, DibPixels(dib.get()),
                   reinterpret_cast<LPBITMAPINFO>(dib.get()), DIB_RGB_COLORS))
        return nullptr;
    return dib.release();
}
} // namespace

LPBITMAPINFOHEADER DibFromBitmapAtDepth(HBITMAP hBitmap, WORD wBitCount, DWORD dwCompression,
                                        HPALETTE hPalette) {
    WORD wBits;
    BITMAP bm;
    if (!hBitmap || !DepthForRequest(wBitCount, dwCompression, &wBits) ||
        !GetObjectA(hBitmap, sizeof(bm), &bm))
        return nullptr;
    if (wBits <= 8) {
        // Reading at 24 bits is exact; the reduction is then ours.
        DibHolder deep(ReadBitmapAtDepth(hBitmap, MakeHeader(bm.bmWidth, bm.bmHeight, 24, BI_RGB), hPalette));
        if (LPBITMAPINFOHEADER reduced = ReducedDib(deep.get(), wBits, dwCompression))
            return reduced;
    }
    LPBITMAPINFOHEADER dib =
        ReadBitmapAtDepth(hBitmap, MakeHeader(bm.bmWidth, bm.bmHeight, wBits, dwCompression), hPalette);
    if (!dib && dwCompression != BI_RGB)
        return PackedRunLength([&] { return DibFromBitmapAtDepth(hBitmap, wBits, BI_RGB, hPalette); });
    return dib;
}

LPBITMAPINFOHEADER ConvertDibDepth(const BITMAPINFOHEADER* lpDib, WORD wBitCount, DWORD dwCompression) {
    if (!lpDib)
        return nullptr;
    WORD wBits = lpDib->biBitCount;
    if (wBitCount == 0) {
        if (dwCompression > BI_RLE4 || (dwCompression == BI_RLE4 && wBits != 4) ||
            (dwCompression == BI_RLE8 && wBits != 8))
            return nullptr;
    } else if (!DepthForRequest(wBitCount, dwCompression, &wBits)) {
        return nullptr;
    }
    if (DibColorCount(lpDib) == 0)
        return nullptr;
    if (IsIndexRaise(lpDib, wBits, dwCompression))
        return RaiseIndexDepth(lpDib, wBits);
    if (dwCompression != BI_RGB && lpDib->biCompression == BI_RGB)
        return PackedRunLength([&] { return ConvertDibDepth(lpDib, wBits, BI_RGB); });
    if (wBits <= 8) {
        // Through 24 bits (exact), then our reduction.
        const bool trueColor = lpDib->biSize == sizeof(BITMAPINFOHEADER) && lpDib->biBitCount == 24 &&
                               lpDib->biCompression == BI_RGB;
        DibHolder deep(trueColor ? nullptr : ConvertDibDepth(lpDib, 24, BI_RGB));
        if (LPBITMAPINFOHEADER reduced = ReducedDib(trueColor ? lpDib : deep.get(), wBits, dwCompression))
            return reduced;
    }

    // Everything else, reductions in particular, is the platform's conversion
    // through a device bitmap with the source's colours realised.
    CGdiObject<HPALETTE> palette(PaletteFromColorTable(lpDib));
    if (!palette)
        return nullptr;
    CGdiObject<HBITMAP> bitmap(BitmapFromDib(lpDib, palette));
    BITMAP bm;
    if (!bitmap || !GetObjectA(bitmap, sizeof(bm), &bm))
        return nullptr;
    DibHolder dib(AllocDibForBitmap(MakeHeader(bm.bmWidth, bm.bmHeight, wBits, dwCompression), bitmap));
    if (!dib)
        return nullptr;
    CClientDC screen(nullptr);
    if (!screen)
        return nullptr;
    CRealizedPalette select(screen, palette);
    if (!GetDIBits(screen, bitmap, 0, dib->biHeight, DibPixels(dib.get()),
                   reinterpret_cast<LPBITMAPINFO>(dib.get()), DIB_RGB_COLORS))
        return nullptr;
    return dib.release();
}

HBITMAP BitmapFromDib(const BITMAPINFOHEADER* lpDib, HPALETTE hPalette) {
    if (!lpDib)
        return nullptr;
    CClientDC screen(nullptr);
    if (!screen)
        return nullptr;
    CRealizedPalette palette(screen, hPalette, FALSE);
    return CreateDIBitmap(screen, lpDib, CBM_INIT, DibPixels(lpDib),
                          reinterpret_cast<const BITMAPINFO*>(lpDib), DIB_RGB_COLORS);
}

HPALETTE MakeScreenPalette() {
    CClientDC screen(nullptr);
    if (!screen)
        return nullptr;
    const int bits = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    // A screen of more than 8 bits has no system palette to copy: its entries would
    // be garbage, and counting them as 2^bits would ask for 64 MB on a 24-bit screen.
    // The halftone palette is a valid one, and it is what the platform reduces to
    // when it makes 8-bit DIBs from such a screen, so selecting it agrees with it.
    if (bits > 8)
        return CreateHalftonePalette(screen);
    const UINT n = 1u << bits;
    std::vector<DWORD> record(2 + n);
    LOGPALETTE* lpPal = reinterpret_cast<LOGPALETTE*>(record.data());
    lpPal->palVersion = 0x300;
    lpPal->palNumEntries = (WORD)n;
    GetSystemPaletteEntries(screen, 0, n, lpPal->palPalEntry);
    return CreatePalette(lpPal);
}
