// GIF writer: counts the colours the exchange image really uses, packs them into
// the smallest power-of-two table and LZW-compresses the pixels with an
// open-addressed hash table of strings. Only one source row is held in memory; the
// exchange file is read twice, once to count colours and once to encode.
#include "imaging/GifWriter.h"
#include "imaging/GifLzw.h"
#include "imaging/Exchange.h"
#include "framework/HostPath.h"
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The exchange image.
BITMAPFILEHEADER s_bmfh;
BITMAPINFOHEADER s_bmih;
UINT s_nRowBytes;
LONG s_nHeight; // rows of the image, whatever the header's sign
bool s_bTopDown;
BYTE* s_pRow = nullptr;
LONG s_nRowInBuffer = -1; // stored row index held in s_pRow
RGBQUAD s_palette[256];

// Colour packing: which source indices occur and what they become.
BYTE s_bUsed[256];
BYTE s_newIndex[256];
BYTE s_packed[256 * 3];
int s_nBits; // of the packed table

// The pixel walk.
GifPixelSource s_pixelSource;
int s_nWalkWidth;
int64_t s_nPixelsLeft;
int s_nColumn;
int s_nRow;

// LZW and output state.
FILE* s_out;
int s_nInitWidth;
int s_nWidth;
int s_nMaxCode;
int s_nClearCode;
int s_nEndCode;
int s_nNext;
bool s_bClearPending;
uint32_t s_accum;
int s_nAccumBits;
BYTE s_block[256];
int s_nBlockBytes;
int32_t s_hashKeys[kGifHashSize];
uint16_t s_hashCodes[kGifHashSize];

const uint32_t kMasks[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
                             0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

// A failing read of the exchange file counts as a short one: it fails the write
// instead of escaping as an exception the callers do not expect.
UINT ReadExchange(void* buffer, UINT count) {
    try {
        return exchangeFile.Read(buffer, count);
    } catch (const CFileException&) {
        return 0;
    }
}

bool SeekExchange(ULONGLONG offset) {
    try {
        exchangeFile.Seek((LONGLONG)offset, CFile::begin);
        return true;
    } catch (const CFileException&) {
        return false;
    }
}

bool ReadStoredRow(LONG row) {
    if (!SeekExchange((ULONGLONG)s_bmfh.bfOffBits + (ULONGLONG)row * s_nRowBytes))
        return false;
    if (ReadExchange(s_pRow, s_nRowBytes) != s_nRowBytes)
        return false;
    s_nRowInBuffer = row;
    return true;
}

void FreeRow() {
    free(s_pRow);
    s_pRow = nullptr;
    s_nRowInBuffer = -1;
}

void FlushSubBlock() {
    if (s_nBlockBytes == 0)
        return;
    fputc(s_nBlockBytes, s_out);
    if (fwrite(s_block, 1, s_nBlockBytes, s_out) != (size_t)s_nBlockBytes)
        GifWriteFailed();
    s_nBlockBytes = 0;
}

// Data sub-blocks carry 254 bytes, not the 255 the format would allow.
void AppendByte(BYTE b) {
    s_block[s_nBlockBytes++] = b;
    if (s_nBlockBytes >= 254)
        FlushSubBlock();
}

void EmitCode(int code) {
    if (s_nAccumBits > 0) {
        s_accum &= kMasks[s_nAccumBits];
        s_accum |= (uint32_t)code << s_nAccumBits;
    } else {
        s_accum = (uint32_t)code;
    }
    s_nAccumBits += s_nWidth;
    while (s_nAccumBits >= 8) {
        AppendByte((BYTE)(s_accum & 0xFF));
        s_accum >>= 8;
        s_nAccumBits -= 8;
    }

    // The decoder widens its codes one code later than the table grows; this
    // keeps the two in step.
    if (s_nNext > s_nMaxCode || s_bClearPending) {
        if (s_bClearPending) {
            s_nWidth = s_nInitWidth;
            s_nMaxCode = (1 << s_nWidth) - 1;
            s_bClearPending = false;
        } else {
            ++s_nWidth;
            s_nMaxCode = s_nWidth == kGifMaxBits ? kGifMaxCodes : (1 << s_nWidth) - 1;
        }
    }

    if (code == s_nEndCode) {
        while (s_nAccumBits > 0) {
            AppendByte((BYTE)(s_accum & 0xFF));
            s_accum >>= 8;
            s_nAccumBits -= 8;
        }
        FlushSubBlock();
        fflush(s_out);
    }
}

// The next pixel in row order, or -1 after the last.
int NextPixel() {
    if (s_nPixelsLeft == 0)
        return -1;
    --s_nPixelsLeft;
    int value = s_pixelSource(s_nColumn, s_nRow);
    if (++s_nColumn == s_nWalkWidth) {
        s_nColumn = 0;
        ++s_nRow;
    }
    return value;
}

void ClearHash() {
    for (int i = 0; i < kGifHashSize; ++i)
        s_hashKeys[i] = -1;
}

// Finds the code of string ent followed by c; on a miss, *slot is where it goes.
bool FindString(int ent, int c, int* code, int* slot) {
    int32_t key = ((int32_t)c << kGifMaxBits) + ent;
    int i = (c << kGifHashShift) ^ ent;
    if (s_hashKeys[i] == key) {
        *code = s_hashCodes[i];
        return true;
    }
    if (s_hashKeys[i] >= 0) {
        int step = i == 0 ? 1 : kGifHashSize - i;
        do {
            i -= step;
            if (i < 0)
                i += kGifHashSize;
            if (s_hashKeys[i] == key) {
                *code = s_hashCodes[i];
                return true;
            }
        } while (s_hashKeys[i] > 0);
    }
    *slot = i;
    return false;
}

void LzwCompress(int codeSize) {
    s_nInitWidth = codeSize + 1;
    s_nWidth = s_nInitWidth;
    s_nMaxCode = (1 << s_nWidth) - 1;
    s_nClearCode = 1 << codeSize;
    s_nEndCode = s_nClearCode + 1;
    s_nNext = s_nClearCode + 2;
    s_bClearPending = false;
    s_accum = 0;
    s_nAccumBits = 0;
    s_nBlockBytes = 0;

    int ent = NextPixel();
    ClearHash();
    EmitCode(s_nClearCode);
    if (ent < 0) { // no pixels at all: an empty but well-formed stream
        EmitCode(s_nEndCode);
        return;
    }
    for (int c = NextPixel(); c >= 0; c = NextPixel()) {
        int code, slot;
        if (FindString(ent, c, &code, &slot)) {
            ent = code;
            continue;
        }
        EmitCode(ent);
        int32_t key = ((int32_t)c << kGifMaxBits) + ent;
        ent = c;
        if (s_nNext < kGifMaxCodes) {
            s_hashCodes[slot] = (uint16_t)s_nNext++;
            s_hashKeys[slot] = key;
        } else {
            ClearHash();
            s_nNext = s_nClearCode + 2;
            s_bClearPending = true;
            EmitCode(s_nClearCode);
        }
    }
    EmitCode(ent);
    EmitCode(s_nEndCode);
}

} // namespace

void GifWriteFailed() {
    throw GifAbandon{kGifWriteFailed};
}

int ExchangePixel(int x, int y) {
    LONG row = s_bTopDown ? y : s_nHeight - 1 - y;
    if (row != s_nRowInBuffer && !ReadStoredRow(row))
        GifWriteFailed();
    return s_newIndex[s_pRow[x]];
}

namespace {

void EncodeTo(FILE* stream, int width, int height, int bits, const BYTE* palette,
              GifPixelSource pixelSource) {
    if (fwrite("GIF89a", 1, 6, stream) != 6)
        GifWriteFailed();
    fputc(width & 0xFF, stream);
    fputc((width >> 8) & 0xFF, stream);
    fputc(height & 0xFF, stream);
    fputc((height >> 8) & 0xFF, stream);
    fputc(0x80 | ((bits - 1) << 4) | (bits - 1), stream);
    fputc(0, stream); // background
    fputc(0, stream); // aspect ratio
    fwrite(palette, 1, (size_t)3 << bits, stream);

    // Graphic control extension without a transparent colour: every pixel of the
    // picture is meant to be seen.
    static const BYTE kControl[8] = {0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    fwrite(kControl, 1, sizeof kControl, stream);

    fputc(0x2C, stream);
    fputc(0, stream); // left
    fputc(0, stream);
    fputc(0, stream); // top
    fputc(0, stream);
    fputc(width & 0xFF, stream);
    fputc((width >> 8) & 0xFF, stream);
    fputc(height & 0xFF, stream);
    fputc((height >> 8) & 0xFF, stream);
    fputc(0x00, stream); // no local table, not interlaced

    int codeSize = bits < 2 ? 2 : bits;
    if (fputc(codeSize, stream) == EOF)
        GifWriteFailed();

    s_pixelSource = pixelSource;
    s_nWalkWidth = width;
    s_nPixelsLeft = (int64_t)width * height;
    s_nColumn = 0;
    s_nRow = 0;
    LzwCompress(codeSize);

    fputc(0x00, stream);
    fputc(0x3B, stream);
}

// The stream is closed whatever happens; the buffered bytes reach the disk only
// there, so a full disk must not pass for a written file.
int EncodeAndClose(FILE* stream, int width, int height, int bits, const BYTE* palette,
                   GifPixelSource pixelSource) {
    s_out = stream;
    int status = kGifWriteOk;
    try {
        EncodeTo(stream, width, height, bits, palette, pixelSource);
    } catch (const GifAbandon& abandon) {
        status = abandon.status;
    }
    s_out = nullptr;
    if (fclose(stream) != 0)
        status = kGifWriteFailed;
    return status;
}

// Reads the exchange image's headers, palette and used colours.
void PrepareExchangeImage() {
    if (!SeekExchange(0))
        GifWriteFailed();
    if (ReadExchange(&s_bmfh, sizeof s_bmfh) != sizeof s_bmfh || s_bmfh.bfType != 0x4D42)
        GifWriteFailed();
    if (ReadExchange(&s_bmih, sizeof s_bmih) != sizeof s_bmih)
        GifWriteFailed();
    // Our format holds sizes up to 65535, and compressed rows cannot be walked
    // pixel by pixel; a .bmp copied in from elsewhere may have either.
    if (s_bmih.biBitCount != 8 || s_bmih.biCompression != BI_RGB || s_bmih.biSize < 40 ||
        s_bmih.biWidth <= 0 || s_bmih.biWidth > 65535 || s_bmih.biHeight == 0 || s_bmih.biHeight < -65535 ||
        s_bmih.biHeight > 65535)
        GifWriteFailed();
    s_nRowBytes = ((UINT)s_bmih.biWidth + 3) & ~3u;
    s_bTopDown = s_bmih.biHeight < 0;
    s_nHeight = s_bTopDown ? -s_bmih.biHeight : s_bmih.biHeight;

    // The table follows the information header, whatever its size; never more
    // entries than an 8-bit table holds.
    int64_t entries = ((int64_t)s_bmfh.bfOffBits - s_bmih.biSize - 14) / 4;
    if (entries < 0)
        entries = 0;
    if (entries > 256)
        entries = 256;
    memset(s_palette, 0, sizeof s_palette);
    if (entries > 0) {
        UINT bytes = (UINT)entries * sizeof(RGBQUAD);
        if (!SeekExchange(14 + (ULONGLONG)s_bmih.biSize) || ReadExchange(s_palette, bytes) != bytes)
            GifWriteFailed();
    }

    s_pRow = (BYTE*)malloc(s_nRowBytes);
    if (!s_pRow)
        GifWriteFailed();
    memset(s_bUsed, 0, sizeof s_bUsed);
    for (LONG row = 0; row < s_nHeight; ++row) {
        if (!ReadStoredRow(row))
            GifWriteFailed();
        for (LONG x = 0; x < s_bmih.biWidth; ++x)
            s_bUsed[s_pRow[x]] = 1;
    }

    int count = 0;
    memset(s_packed, 0, sizeof s_packed);
    memset(s_newIndex, 0, sizeof s_newIndex);
    for (int i = 0; i < 256; ++i) {
        if (!s_bUsed[i])
            continue;
        s_newIndex[i] = (BYTE)count;
        s_packed[count * 3 + 0] = s_palette[i].rgbRed;
        s_packed[count * 3 + 1] = s_palette[i].rgbGreen;
        s_packed[count * 3 + 2] = s_palette[i].rgbBlue;
        ++count;
    }
    s_nBits = 1;
    while ((1 << s_nBits) < count)
        ++s_nBits;
}

} // namespace

int GifEncode(FILE* stream, int width, int height, int bits, const BYTE* palette,
              GifPixelSource pixelSource) {
    return EncodeAndClose(stream, width, height, bits, palette, pixelSource);
}

int WriteGifFromExchange(LPCSTR lpszPath) {
    try {
        PrepareExchangeImage();
    } catch (const GifAbandon& abandon) {
        FreeRow();
        return abandon.status;
    }
    FILE* stream = HostFopen(lpszPath, "wb");
    int status = kGifWriteFailed;
    if (stream)
        status = EncodeAndClose(stream, s_bmih.biWidth, (int)s_nHeight, s_nBits, s_packed, ExchangePixel);
    FreeRow();
    // Half a GIF is no file to leave behind.
    char host[4 * MAX_PATH];
    if (stream && status != kGifWriteOk && HostPathFor(lpszPath, host, sizeof host))
        remove(host);
    return status;
}
