// Decoding a BMP file a user gave us into a packed DIB of our own. Only byte logic
// here, so the fuzzer builds this file natively.
//
// Nothing in the file is trusted: every size is computed in 64 bits and checked
// against the bytes there are before anything is allocated or read. What comes
// out is a form every consumer handles: uncompressed, bottom-up, a 40-byte header,
// and at 1, 4 and 8 bits a full table, so that no pixel index can reach past it.
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include <stdlib.h>
#include <string.h>

namespace {
const size_t kFileHeaderBytes = 14;
const DWORD kCoreHeaderBytes = 12;
const DWORD kInfoHeaderBytes = 40;
// Decoded pixel bytes we are willing to make.
const ULONGLONG kMaxImageBytes = 0x40000000;

DWORD U32(const BYTE* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | ((DWORD)p[3] << 24);
}
WORD U16(const BYTE* p) {
    return (WORD)(p[0] | (p[1] << 8));
}

// One colour channel of a 16- or 32-bit pixel: where its mask starts and how wide
// it is; values are scaled to 8 bits by that width (5 bits: 31 becomes 255).
struct Channel {
    int shift = 0;
    int width = 0;

    // False for a mask whose bits are not one run: no such file is made on purpose.
    bool Set(DWORD mask) {
        if (mask == 0)
            return true;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1) {
            mask >>= 1;
            ++width;
        }
        return mask == 0;
    }
    BYTE Of(DWORD pixel) const {
        if (width == 0)
            return 0;
        const ULONGLONG max = (1ull << width) - 1;
        const ULONGLONG value = (pixel >> shift) & max;
        return (BYTE)(value * 255 / max);
    }
};

struct Source {
    const BYTE* data;
    size_t size;
    LONG width;
    LONG rows;
    bool topDown;
    WORD bits;
    DWORD compression;
    Channel red, green, blue;
    size_t pixelPos;
    size_t pixelEnd; // run-length data end here
};

DWORD FullTable(WORD bits) {
    return bits <= 8 ? 1u << bits : 0;
}

// Writes a palette index into a row of the 1-, 4- or 8-bit DIB.
void PutIndex(BYTE* row, WORD bits, LONG x, BYTE index) {
    if (bits == 8) {
        row[x] = index;
    } else if (bits == 4) {
        if (x % 2 == 0)
            row[x / 2] = (BYTE)((row[x / 2] & 0x0F) | (index << 4));
        else
            row[x / 2] = (BYTE)((row[x / 2] & 0xF0) | (index & 0x0F));
    }
}

// Run-length rows, bottom-up. Damaged data never reaches outside the image: runs
// past the end of a row are cut there, moves past the image end the decoding, and
// data that stops early leaves the rest of the pixels at index 0.
void DecodeRunLength(const Source& s, BYTE* pixels, DWORD stride) {
    const bool four = s.compression == BI_RLE4;
    const BYTE* d = s.data;
    size_t p = s.pixelPos;
    LONG x = 0, y = 0;
    auto put = [&](BYTE index) {
        if (x < s.width)
            PutIndex(pixels + (size_t)y * stride, s.bits, x++, index);
    };
    while (p + 2 <= s.pixelEnd && y < s.rows) {
        const BYTE count = d[p], value = d[p + 1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < s.width; ++i)
                put(four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            return;
        } else if (value == 2) { // move right and up
            if (p + 2 > s.pixelEnd)
                return;
            x = x + d[p] < s.width ? x + d[p] : s.width;
            y = y + d[p + 1] < s.rows ? y + d[p + 1] : s.rows;
            p += 2;
        } else { // absolute run of value pixels, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1) / 2 : value;
            for (int i = 0; i < value; ++i) {
                const size_t at = p + (four ? i / 2 : i);
                if (at >= s.pixelEnd)
                    return;
                put(four ? (i % 2 == 0 ? d[at] >> 4 : d[at] & 0x0F) : d[at]);
            }
            p += (bytes + 1) & ~(size_t)1;
        }
    }
}

// 16- and 32-bit rows become 24-bit ones.
void DecodeMasked(const Source& s, BYTE* pixels, DWORD stride) {
    const size_t inStride = ((size_t)s.bits * (size_t)s.width + 31) / 32 * 4;
    const int bytes = s.bits / 8;
    for (LONG r = 0; r < s.rows; ++r) {
        const BYTE* in = s.data + s.pixelPos + (size_t)r * inStride;
        BYTE* out = pixels + (size_t)(s.topDown ? s.rows - 1 - r : r) * stride;
        for (LONG x = 0; x < s.width; ++x, in += bytes, out += 3) {
            const DWORD v = bytes == 2 ? U16(in) : U32(in);
            out[0] = s.blue.Of(v);
            out[1] = s.green.Of(v);
            out[2] = s.red.Of(v);
        }
    }
}
} // namespace

LPBITMAPINFOHEADER DecodeBmp(const BYTE* pData, size_t nSize) {
    if (!pData || nSize < kFileHeaderBytes + 4 || pData[0] != 'B' || pData[1] != 'M')
        return nullptr;
    Source s = {};
    s.data = pData;
    s.size = nSize;
    const DWORD offBits = U32(pData + 10);
    const DWORD headerBytes = U32(pData + 14);
    const BYTE* h = pData + kFileHeaderBytes;

    ULONGLONG tablePos, entries;
    int entryBytes;
    LONG height;
    DWORD sizeImage = 0, xPels = 0, yPels = 0;
    if (headerBytes == kCoreHeaderBytes) {
        // The OS/2 core header: 16-bit sizes, three-byte table entries.
        if (nSize < kFileHeaderBytes + kCoreHeaderBytes)
            return nullptr;
        s.width = U16(h + 4);
        height = U16(h + 6);
        s.bits = U16(h + 10);
        s.compression = BI_RGB;
        if (s.bits != 1 && s.bits != 4 && s.bits != 8 && s.bits != 24)
            return nullptr;
        entryBytes = 3;
        tablePos = kFileHeaderBytes + kCoreHeaderBytes;
        entries = FullTable(s.bits);
        // A table may be shorter than the depth allows; the pixels tell where it ends.
        if (offBits > tablePos && (offBits - tablePos) / 3 < entries)
            entries = (offBits - tablePos) / 3;
    } else if (headerBytes == 40 || headerBytes == 52 || headerBytes == 56 || headerBytes == 108 ||
               headerBytes == 124) {
        if (nSize < kFileHeaderBytes + headerBytes)
            return nullptr;
        s.width = (LONG)U32(h + 4);
        height = (LONG)U32(h + 8);
        s.bits = U16(h + 14);
        s.compression = U32(h + 16);
        sizeImage = U32(h + 20);
        xPels = U32(h + 24);
        yPels = U32(h + 28);
        const DWORD clrUsed = U32(h + 32);
        entryBytes = 4;
        tablePos = kFileHeaderBytes + headerBytes;
        switch (s.compression) {
        case BI_RGB:
            if (s.bits != 1 && s.bits != 4 && s.bits != 8 && s.bits != 16 && s.bits != 24 && s.bits != 32)
                return nullptr;
            break;
        case BI_RLE8:
        case BI_RLE4:
            if (s.bits != (s.compression == BI_RLE8 ? 8 : 4))
                return nullptr;
            break;
        case BI_BITFIELDS:
            if (s.bits != 16 && s.bits != 32)
                return nullptr;
            break;
        default:
            return nullptr;
        }
        DWORD masks[3];
        if (s.compression == BI_BITFIELDS) {
            // The masks follow a 40-byte header; later headers hold them.
            if (nSize < kFileHeaderBytes + kInfoHeaderBytes + 12)
                return nullptr;
            for (int i = 0; i < 3; ++i)
                masks[i] = U32(h + kInfoHeaderBytes + 4 * i);
            if (headerBytes == kInfoHeaderBytes)
                tablePos += 12;
        } else if (s.bits == 16) {
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
        }
        if (s.bits >= 16 && (!s.red.Set(masks[0]) || !s.green.Set(masks[1]) || !s.blue.Set(masks[2]) ||
                             (s.bits == 16 && (masks[0] | masks[1] | masks[2]) > 0xFFFF)))
            return nullptr;
        entries = 0;
        if (s.bits <= 8) {
            entries = clrUsed != 0 ? clrUsed : FullTable(s.bits);
            if (entries > FullTable(s.bits))
                return nullptr;
        }
    } else {
        return nullptr;
    }

    if (s.width <= 0 || height == 0 || height < -0x7FFFFFFF)
        return nullptr;
    s.topDown = height < 0;
    s.rows = s.topDown ? -height : height;
    const bool runLength = s.compression == BI_RLE8 || s.compression == BI_RLE4;
    // Run-length rows are bottom-up by definition.
    if (runLength && s.topDown)
        return nullptr;

    const WORD outBits = s.bits <= 8 ? s.bits : 24;
    const ULONGLONG outStride = ((ULONGLONG)outBits * (DWORD)s.width + 31) / 32 * 4;
    const ULONGLONG outBytes = outStride * (ULONGLONG)s.rows;
    const ULONGLONG inStride = ((ULONGLONG)s.bits * (DWORD)s.width + 31) / 32 * 4;
    if (outBytes > kMaxImageBytes || inStride * (ULONGLONG)s.rows > kMaxImageBytes)
        return nullptr;

    const ULONGLONG tableBytes = entries * entryBytes;
    if (tablePos + tableBytes > nSize)
        return nullptr;
    const ULONGLONG pixelPos = offBits != 0 ? offBits : tablePos + tableBytes;
    if (pixelPos >= nSize)
        return nullptr;
    s.pixelPos = (size_t)pixelPos;
    if (runLength) {
        if (pixelPos + sizeImage > nSize)
            return nullptr;
        s.pixelEnd = sizeImage != 0 ? (size_t)(pixelPos + sizeImage) : nSize;
    } else if (pixelPos + inStride * (ULONGLONG)s.rows > nSize) {
        return nullptr;
    }

    const DWORD outEntries = FullTable(outBits);
    const size_t total = kInfoHeaderBytes + 4 * (size_t)outEntries + (size_t)outBytes;
    // Zeroed: table entries the file lacks are black, pixels no run paints index 0.
    BYTE* block = static_cast<BYTE*>(calloc(1, total));
    if (!block)
        return nullptr;
    LPBITMAPINFOHEADER dib = reinterpret_cast<LPBITMAPINFOHEADER>(block);
    dib->biSize = kInfoHeaderBytes;
    dib->biWidth = s.width;
    dib->biHeight = s.rows;
    dib->biPlanes = 1;
    dib->biBitCount = outBits;
    dib->biCompression = BI_RGB;
    dib->biSizeImage = (DWORD)outBytes;
    dib->biXPelsPerMeter = (LONG)xPels;
    dib->biYPelsPerMeter = (LONG)yPels;
    dib->biClrUsed = outEntries;

    RGBQUAD* table = reinterpret_cast<RGBQUAD*>(block + kInfoHeaderBytes);
    for (ULONGLONG i = 0; i < entries; ++i) {
        const BYTE* e = pData + tablePos + i * entryBytes;
        table[i].rgbBlue = e[0];
        table[i].rgbGreen = e[1];
        table[i].rgbRed = e[2];
    }

    BYTE* pixels = block + kInfoHeaderBytes + 4 * (size_t)outEntries;
    if (runLength) {
        DecodeRunLength(s, pixels, (DWORD)outStride);
    } else if (s.bits >= 16 && s.bits != 24) {
        DecodeMasked(s, pixels, (DWORD)outStride);
    } else {
        for (LONG r = 0; r < s.rows; ++r)
            memcpy(pixels + (size_t)(s.topDown ? s.rows - 1 - r : r) * outStride,
                   pData + s.pixelPos + (size_t)r * inStride, (size_t)outStride);
    }
    return dib;
}
