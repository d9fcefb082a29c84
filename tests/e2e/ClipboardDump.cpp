// Test helper, a separate process: reads the clipboard as another program would.
// Prints which of CF_DIB, CF_BITMAP and CF_PALETTE are offered and writes the
// CF_DIB block as a BMP file to the path given. Exit status 0 when a DIB was found.
#include <windows.h>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2 || !OpenClipboard(nullptr))
        return 2;
    printf("dib=%d bitmap=%d palette=%d\n", IsClipboardFormatAvailable(CF_DIB),
           IsClipboardFormatAvailable(CF_BITMAP), IsClipboardFormatAvailable(CF_PALETTE));
    int status = 1;
    HANDLE data = GetClipboardData(CF_DIB);
    const BITMAPINFOHEADER* dib = data ? static_cast<const BITMAPINFOHEADER*>(GlobalLock(data)) : nullptr;
    if (dib) {
        SIZE_T size = GlobalSize(data);
        DWORD colors = dib->biClrUsed ? dib->biClrUsed : (dib->biBitCount <= 8 ? 1u << dib->biBitCount : 0);
        if (dib->biCompression == BI_BITFIELDS)
            colors = 3;
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfSize = (DWORD)(sizeof file + size);
        file.bfOffBits = (DWORD)(sizeof file + dib->biSize + 4 * colors);
        FILE* out = fopen(argv[1], "wb");
        if (out) {
            fwrite(&file, sizeof file, 1, out);
            fwrite(dib, 1, size, out);
            fclose(out);
            status = 0;
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    return status;
}
