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

// The clipboard deletes what it holds when it is next emptied; handed the stock
// palette itself, Wine destroys it, and the next palette selection in the process
// (the next copy) crashes. A copy of it is the clipboard's to delete.
HPALETTE CopyOfDefaultPalette() {
    HPALETTE stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    if (!stock)
        return nullptr;
    PALETTEENTRY entries[256];
    UINT count = GetPaletteEntries(stock, 0, 256, entries);
    if (count == 0)
        return nullptr;
    struct {
        WORD version, count;
        PALETTEENTRY entries[256];
    } record = {0x300, (WORD)count, {}};
    memcpy(record.entries, entries, count * sizeof entries[0]);
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&record));
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
        if (HPALETTE palette = CopyOfDefaultPalette())
            if (!SetClipboardData(CF_PALETTE, palette))
                DeleteObject(palette);
    }
    CloseClipboard();
}
