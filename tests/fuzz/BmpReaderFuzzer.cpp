// Feeds arbitrary bytes to ReadBmpFromExchange through a memory-backed exchange
// file, and to DecodeBmp, the reader of users' files. Whatever a reader accepts
// must be a block whose parts all lie inside it: header, the colour table the size
// rules give, and biSizeImage pixel bytes; DecodeBmp's also in the one form it
// promises.
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "imaging/Exchange.h"
#include "tests/fuzz/MemoryFile.h"
#include <cstdint>
#include <cstdlib>

CFile exchangeFile;

namespace {
unsigned SumOfPixels(const BITMAPINFOHEADER* dib) {
    const BYTE* pixels = DibPixels(dib);
    unsigned sum = 0;
    for (DWORD i = 0; i < dib->biSizeImage; ++i)
        sum += pixels[i]; // reads past the block show up under AddressSanitizer
    return sum;
}

// A few bytes of run-length data can claim an image of a gigabyte, which the
// decoder would allocate; such inputs are passed over rather than spending the run
// on clearing memory. Both header forms are looked at.
bool ClaimsAHugeImage(const uint8_t* data, size_t size) {
    if (size < 26)
        return false;
    auto le = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= (uint32_t)data[at + i] << (8 * i);
        return v;
    };
    uint64_t width, height;
    if (le(14, 4) == 12) {
        width = le(18, 2);
        height = le(20, 2);
    } else {
        width = (uint32_t)abs((int32_t)le(18, 4));
        height = (uint32_t)abs((int32_t)le(22, 4));
    }
    return width * height > (1u << 22);
}

// Our own form: 1, 4 or 8 bits with the full table, or 24 bits, uncompressed.
unsigned CheckDecoded(const uint8_t* data, size_t size) {
    if (ClaimsAHugeImage(data, size))
        return 0;
    LPBITMAPINFOHEADER dib = DecodeBmp(data, size);
    if (!dib)
        return 0;
    const WORD bits = dib->biBitCount;
    if (dib->biSize != sizeof(BITMAPINFOHEADER) || dib->biWidth <= 0 || dib->biHeight <= 0 ||
        dib->biCompression != BI_RGB || (bits != 1 && bits != 4 && bits != 8 && bits != 24) ||
        dib->biClrUsed != (bits == 24 ? 0u : 1u << bits) ||
        dib->biSizeImage != DibRowBytes(dib->biWidth, bits) * (DWORD)dib->biHeight)
        abort();
    unsigned sum = SumOfPixels(dib);
    FreeDib(dib);
    return sum;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    unsigned decoded = CheckDecoded(data, size);
    MemoryFileLoad(exchangeFile, data, size);
    LPBITMAPINFOHEADER dib = ReadBmpFromExchange();
    if (!dib)
        return decoded == 0xFFFFFFFF;
    if (dib->biSize != sizeof(BITMAPINFOHEADER) || dib->biWidth <= 0 || dib->biHeight <= 0)
        abort();
    unsigned sum = SumOfPixels(dib);
    if (dib->biCompression == BI_RGB &&
        dib->biSizeImage != DibRowBytes(dib->biWidth, dib->biBitCount) * (DWORD)dib->biHeight)
        abort();
    FreeDib(dib);
    return sum + decoded == 0xFFFFFFFF;
}
