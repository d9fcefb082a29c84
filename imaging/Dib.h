// Packed DIBs and palettes on top of GDI: screen grabs, device bitmap <-> DIB at a
// chosen depth, re-encoding at another depth, and the size rules of the layout.
//
// A packed DIB is one C-heap block: a BITMAPINFOHEADER (biSize 40), the colour
// table, then the bottom-up pixel rows, each padded to 4 bytes. Whoever receives
// one releases it with FreeDib; device bitmaps and palettes with DeleteObject.
// Every operation returns null on failure and shows nothing.
#pragma once
#include <windows.h>

// The one program-wide palette variable; null at start. The toolkit never reads
// it: callers pass it explicitly.
extern HPALETTE g_hScreenPalette;

// Copies a screen rectangle (right and bottom exclusive), clipped to the primary
// display, into a new device bitmap compatible with the screen.
HBITMAP GrabScreenRect(const RECT& rc);

// A packed DIB of the bitmap at its own depth class (1, 4, 8, or 24 for anything
// deeper). Without a palette the stock DEFAULT_PALETTE is used.
LPBITMAPINFOHEADER DibFromBitmap(HBITMAP hBitmap, HPALETTE hPalette);

// A packed DIB of the bitmap at the asked depth and compression:
//   bits 0 + BI_RLE4 -> 4-bit RLE, bits 0 + BI_RLE8 -> 8-bit RLE, 1 + BI_RGB,
//   4 + BI_RGB/BI_RLE4, 8 + BI_RGB/BI_RLE8, 24 + BI_RGB. Any other pair gives null.
LPBITMAPINFOHEADER DibFromBitmapAtDepth(HBITMAP hBitmap, WORD wBitCount, DWORD dwCompression,
                                        HPALETTE hPalette);

// A new packed DIB holding lpDib re-encoded at another depth (0 keeps the
// source's, with BI_RLE4 only for 4-bit and BI_RLE8 only for 8-bit sources).
// Works only on DIBs that carry a colour table. The source is not touched.
LPBITMAPINFOHEADER ConvertDibDepth(const BITMAPINFOHEADER* lpDib, WORD wBitCount, DWORD dwCompression);

// A device bitmap compatible with the screen holding the DIB's pixels.
HBITMAP BitmapFromDib(const BITMAPINFOHEADER* lpDib, HPALETTE hPalette);

// A palette to select and realise around conversions: the system palette on a
// palette screen (8 bits or fewer). See the source for deeper screens.
HPALETTE MakeScreenPalette();

// Step shared by the conversions: a block of the final size for a DIB of hBitmap
// described by bi (biSize 40), header completed by the platform, pixels not read.
LPBITMAPINFOHEADER AllocDibForBitmap(BITMAPINFOHEADER bi, HBITMAP hBitmap);

// Releases a packed DIB to the C heap; null is allowed.
void FreeDib(LPBITMAPINFOHEADER lpDib);

// Size rules. A header whose first field is not 40 is read as a BITMAPCOREHEADER.
// Colour-table bytes: 4 x biClrUsed, or the full table of a 1/4/8-bit depth;
// 6/48/768 for core headers. A 16-bit quantity, as every user takes it.
WORD DibColorTableBytes(const BITMAPINFOHEADER* lpHeader);
// Colours for a palette: biClrUsed (low 16 bits) when set, else 2/16/256 for
// 1/4/8 bits, else 0.
WORD DibColorCount(const BITMAPINFOHEADER* lpHeader);
// Stride of a row: ((bits x width + 31) / 32) x 4 in unsigned 32-bit arithmetic.
DWORD DibRowBytes(DWORD dwWidth, WORD wBitCount);

// Where the pixel rows start: the block + biSize + DibColorTableBytes.
BYTE* DibPixels(const BITMAPINFOHEADER* lpDib);
