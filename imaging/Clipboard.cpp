#include "imaging/Clipboard.h"
#include <cstdlib>
#include <cstring>
#include "imaging/Dib.h"

namespace {

// The clipboard wants movable global memory for a DIB; ours lives on the C heap.
HGLOBAL GlobalCopyOfDib(const BITMAPINFOHEADER* dib) {
    DWORD pixelBytes = dib->biSizeImage;
    if (dib->biCompression == BI_RGB || pixelBytes == 0)
        pixelBytes = DibRowBytes(dib->biWidth, dib->biBitCount) * (DWORD)labs(dib->biHeight);
    SIZE_T size = dib->biSize + DibColorTableBytes(dib) + pixelBytes;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block)
        return nullptr;
    memcpy(GlobalLock(block), dib, size);
    GlobalUnlock(block);
    return block;
}

} // namespace

void PutBitmapOnClipboard(HWND owner, HBITMAP bitmap) {
    if (!OpenClipboard(owner))
        return;
    EmptyClipboard();
    if (bitmap) {
        LPBITMAPINFOHEADER dib = DibFromBitmap(bitmap, g_hScreenPalette);
        if (dib) {
            if (HGLOBAL block = GlobalCopyOfDib(dib))
                if (!SetClipboardData(CF_DIB, block))
                    GlobalFree(block);
            if (HBITMAP copy = BitmapFromDib(dib, g_hScreenPalette))
                if (!SetClipboardData(CF_BITMAP, copy))
                    DeleteObject(copy);
            FreeDib(dib);
        }
        SetClipboardData(CF_PALETTE, GetStockObject(DEFAULT_PALETTE));
    }
    CloseClipboard();
}
