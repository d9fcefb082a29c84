// Feeds arbitrary bytes to ReadBmpFromExchange through a memory-backed exchange
// file. Whatever the reader accepts must be a block whose parts all lie inside
// it: header, the colour table the size rules give, and biSizeImage pixel bytes.
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "imaging/Exchange.h"
#include "tests/fuzz/MemoryFile.h"
#include <cstdint>
#include <cstdlib>

CFile exchangeFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFileLoad(exchangeFile, data, size);
    LPBITMAPINFOHEADER dib = ReadBmpFromExchange();
    if (!dib)
        return 0;
    if (dib->biSize != sizeof(BITMAPINFOHEADER) || dib->biWidth <= 0 || dib->biHeight <= 0)
        abort();
    const BYTE* pixels = DibPixels(dib);
    unsigned sum = 0;
    for (DWORD i = 0; i < dib->biSizeImage; ++i)
        sum += pixels[i]; // reads past the block show up under AddressSanitizer
    if (dib->biCompression == BI_RGB &&
        dib->biSizeImage != DibRowBytes(dib->biWidth, dib->biBitCount) * (DWORD)dib->biHeight)
        abort();
    FreeDib(dib);
    return sum == 0xFFFFFFFF;
}
