// GIF reader: parses the block structure, decodes the chosen image with an LZW
// decoder and streams its rows into the exchange file. The BMP is written at its
// final size first, so the top-down GIF rows are placed bottom-up by seeking back
// from the end, and interlaced rows land where they belong, without holding the
// image in memory.
#include "imaging/GifReader.h"
#include "imaging/GifLzw.h"
#include "imaging/Exchange.h"
#include "framework/HostPath.h"
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

FILE* s_in;
RGBQUAD s_globalTable[256];
RGBQUAD s_localTable[256];
int s_nGlobalSize;

BYTE* s_pRow = nullptr;
UINT s_nRowBytes;

// Sub-block bit reader. The buffer keeps the last two bytes of the previous
// sub-block in front of the next one, so a code may straddle them.
BYTE s_buffer[280];
int s_nBitPos;
int s_nBitCount;
int s_nLastByte;
bool s_bEndOfData; // the code reader met the zero-length sub-block
bool s_bZeroBlock; // the last sub-block read anywhere had length 0

// LZW decoder.
int s_nInitSize;
int s_nCodeWidth;
int s_nClearCode;
int s_nEndCode;
int s_nNextCode;
int s_nGrowLimit;
int s_nFirstCode;
int s_nPrevCode;
bool s_bFresh;
int s_nFinished; // the negative value the image data ended with, or 0
uint16_t s_prefix[kGifMaxCodes];
uint16_t s_suffix[kGifMaxCodes];
// A string is at most one entry per code plus the repeated first byte.
const int kStackSize = 2 * kGifMaxCodes;
uint16_t s_stack[kStackSize];
int s_nStackTop;

void ReadExactly(void* buffer, size_t count) {
    if (fread(buffer, 1, count, s_in) != count)
        GifReadFailed();
}

int ReadByte() {
    int c = fgetc(s_in);
    if (c == EOF)
        GifReadFailed();
    return c;
}

// A failing write into the exchange file abandons the read like a failing read.
void WriteExchange(const void* data, UINT count) {
    try {
        exchangeFile.Write(data, count);
    } catch (const CFileException&) {
        GifReadFailed();
    }
}

void FreeRow() {
    free(s_pRow);
    s_pRow = nullptr;
}

void ReadColorMap(int count, RGBQUAD* table) {
    BYTE rgb[256 * 3];
    ReadExactly(rgb, (size_t)count * 3);
    for (int i = 0; i < count; ++i) {
        table[i].rgbRed = rgb[i * 3];
        table[i].rgbGreen = rgb[i * 3 + 1];
        table[i].rgbBlue = rgb[i * 3 + 2];
        table[i].rgbReserved = 0;
    }
}

// Length of the sub-block read into buffer, 0 for the terminator, -1 at the end
// of the file.
int ReadSubBlock(BYTE* buffer) {
    int length = fgetc(s_in);
    if (length == EOF)
        return -1;
    s_bZeroBlock = length == 0;
    if (length != 0 && fread(buffer, 1, length, s_in) != (size_t)length)
        return -1;
    return length;
}

// Every extension is skipped sub-block by sub-block. A file that ends inside one
// is damaged.
void SkipExtension(int label) {
    (void)label;
    BYTE block[256];
    for (;;) {
        int length = ReadSubBlock(block);
        if (length < 0)
            GifReadFailed();
        if (length == 0)
            return;
    }
}

void ResetCodeReader() {
    memset(s_buffer, 0, sizeof s_buffer);
    s_nBitPos = 0;
    s_nBitCount = 0;
    s_nLastByte = 2; // the two carried bytes start as zeros
    s_bEndOfData = false;
}

// The next code of width bits, LSB first; -1 when the data has ended inside it.
int ReadCode(int width) {
    while (s_nBitPos + width > s_nBitCount) {
        if (s_bEndOfData) {
            if (s_nBitPos >= s_nBitCount)
                GifReadFailed();
            return -1;
        }
        s_buffer[0] = s_buffer[s_nLastByte - 2];
        s_buffer[1] = s_buffer[s_nLastByte - 1];
        int length = ReadSubBlock(&s_buffer[2]);
        if (length < 0)
            GifReadFailed();
        if (length == 0)
            s_bEndOfData = true;
        s_nLastByte = 2 + length;
        s_nBitPos = s_nBitPos - s_nBitCount + 16;
        s_nBitCount = (2 + length) * 8;
    }
    // Bit j of the code is bit (pos + j) mod 8 of byte (pos + j) / 8; a code of at
    // most 12 bits spans at most three bytes, all inside the buffer.
    int at = s_nBitPos / 8;
    uint32_t bits = s_buffer[at] | (s_buffer[at + 1] << 8) | ((uint32_t)s_buffer[at + 2] << 16);
    int code = (int)((bits >> (s_nBitPos % 8)) & ((1u << width) - 1));
    s_nBitPos += width;
    return code;
}

// The roots never change; of the other entries only those below the next free code
// can have been set, and none from there on is read before it is set again. So a
// clear code, which can come with every few pixels, touches only what was used.
void ResetTable() {
    size_t used = (size_t)(s_nNextCode - s_nClearCode);
    memset(s_prefix + s_nClearCode, 0, used * sizeof s_prefix[0]);
    memset(s_suffix + s_nClearCode, 0, used * sizeof s_suffix[0]);
    s_nCodeWidth = s_nInitSize + 1;
    s_nGrowLimit = 2 * s_nClearCode;
    s_nNextCode = s_nClearCode + 2;
    s_nStackTop = 0;
}

void StartLzw(int codeSize) {
    s_nInitSize = codeSize;
    s_nClearCode = 1 << codeSize;
    s_nEndCode = s_nClearCode + 1;
    ResetCodeReader();
    for (int i = 0; i < s_nClearCode; ++i) {
        s_prefix[i] = 0;
        s_suffix[i] = (uint16_t)i;
    }
    s_nNextCode = kGifMaxCodes; // the whole table once per image
    ResetTable();
    s_bFresh = true;
    s_nFinished = 0;
}

// At the end code: the rest of the image data up to its terminator is skipped.
int EndOfImageData() {
    if (!s_bZeroBlock && !s_bEndOfData) {
        BYTE block[256];
        while (ReadSubBlock(block) > 0) {
        }
    }
    return -2;
}

// The first code after a clear starts the string chain. The end code there ends
// an empty stream; any other code that is no root names nothing yet.
int StartChain() {
    int code;
    do {
        code = ReadCode(s_nCodeWidth);
    } while (code == s_nClearCode);
    if (code < 0)
        return code;
    if (code == s_nEndCode)
        return EndOfImageData();
    if (code > s_nClearCode)
        GifReadFailed();
    s_nFirstCode = s_nPrevCode = code;
    return code;
}

int DecodeCode(int code) {
    int incoming = code;
    // A code beyond the next free one names no string: the data is damaged.
    if (code > s_nNextCode)
        GifReadFailed();
    if (code == s_nNextCode) {
        s_stack[s_nStackTop++] = (uint16_t)s_nFirstCode;
        code = s_nPrevCode;
    }
    while (code >= s_nClearCode) {
        // Entries only ever point to older ones, so a chain longer than the table
        // can only be a loop.
        if (s_nStackTop >= kStackSize - 1 || s_prefix[code] == code)
            GifReadFailed();
        s_stack[s_nStackTop++] = s_suffix[code];
        code = s_prefix[code];
    }
    s_nFirstCode = s_suffix[code];
    s_stack[s_nStackTop++] = (uint16_t)s_nFirstCode;
    if (s_nNextCode < kGifMaxCodes) {
        s_prefix[s_nNextCode] = (uint16_t)s_nPrevCode;
        s_suffix[s_nNextCode] = (uint16_t)s_nFirstCode;
        ++s_nNextCode;
        if (s_nNextCode >= s_nGrowLimit && s_nGrowLimit < kGifMaxCodes) {
            s_nGrowLimit *= 2;
            ++s_nCodeWidth;
        }
    }
    s_nPrevCode = incoming;
    return s_stack[--s_nStackTop];
}

// One pixel index per call; negative once the image data has ended, and from
// then on without reading further.
int LzwReadByte() {
    if (s_nFinished < 0)
        return s_nFinished;
    int value;
    if (s_bFresh) {
        s_bFresh = false;
        value = StartChain();
    } else if (s_nStackTop > 0) {
        value = s_stack[--s_nStackTop];
    } else {
        int code = ReadCode(s_nCodeWidth);
        if (code < 0) {
            value = code;
        } else if (code == s_nClearCode) {
            ResetTable();
            value = StartChain();
        } else if (code == s_nEndCode) {
            value = EndOfImageData();
        } else {
            value = DecodeCode(code);
        }
    }
    if (value < 0)
        s_nFinished = value;
    return value;
}

void StorePixel(int x, int value, WORD bitCount) {
    if (bitCount == 1) {
        BYTE mask = (BYTE)(0x80 >> (x % 8));
        if (value != 0)
            s_pRow[x / 8] |= mask;
        else
            s_pRow[x / 8] &= (BYTE)~mask;
    } else if (bitCount == 4) {
        if (x % 2 == 0)
            s_pRow[x / 2] = (BYTE)(value << 4);
        else
            s_pRow[x / 2] |= (BYTE)(value & 0x0F);
    } else {
        s_pRow[x] = (BYTE)value;
    }
}

// Writes the headers, the palette and placeholder rows, so that every row can
// then be placed by seeking back from the end.
void WriteBmpFrame(int width, int height, WORD bitCount, int entries, const RGBQUAD* table) {
    DWORD imageBytes = s_nRowBytes * (DWORD)height;
    BITMAPFILEHEADER bmfh = {};
    bmfh.bfType = 0x4D42;
    bmfh.bfOffBits = 54 + 4 * entries;
    bmfh.bfSize = bmfh.bfOffBits + imageBytes;
    BITMAPINFOHEADER bmih = {};
    bmih.biSize = 40;
    bmih.biWidth = width;
    bmih.biHeight = height;
    bmih.biPlanes = 1;
    bmih.biBitCount = bitCount;
    bmih.biCompression = BI_RGB;
    bmih.biSizeImage = imageBytes;
    bmih.biClrUsed = entries;
    bmih.biClrImportant = entries;
    WriteExchange(&bmfh, sizeof bmfh);
    WriteExchange(&bmih, sizeof bmih);
    WriteExchange(table, 4 * entries);
    memset(s_pRow, 0, s_nRowBytes);
    for (int r = 0; r < height; ++r)
        WriteExchange(s_pRow, s_nRowBytes);
}

void PutRow(int r) {
    try {
        exchangeFile.Seek(-(LONGLONG)s_nRowBytes * (r + 1), CFile::end);
        exchangeFile.Write(s_pRow, s_nRowBytes);
    } catch (const CFileException&) {
        GifReadFailed();
    }
}

// The GIF89a interlace: rows 0, 8, 16, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
// Returns the row after r, or height when the image is complete.
int NextRow(int r, int height, bool interlaced, int* pass) {
    if (!interlaced)
        return r + 1;
    static const int kStep[4] = {8, 8, 4, 2};
    static const int kStart[4] = {0, 4, 2, 1};
    r += kStep[*pass];
    while (r >= height) {
        if (++*pass > 3)
            return height;
        r = kStart[*pass];
    }
    return r;
}

void DecodeImage(int width, int height, const RGBQUAD* table, int tableSize, bool interlaced, bool wanted) {
    int codeSize = ReadByte();
    // Larger sizes would put the clear code past the end of the tables.
    if (codeSize > kGifMaxBits - 1)
        GifReadFailed();
    StartLzw(codeSize);
    if (!wanted) {
        while (LzwReadByte() >= 0) {
        }
        return;
    }
    // An image without pixels cannot become a bitmap anyone could open.
    if (width == 0 || height == 0)
        GifReadFailed();

    WORD bitCount;
    int entries;
    if (tableSize > 16) {
        bitCount = 8;
        entries = 256;
        s_nRowBytes = ((UINT)width + 3) & ~3u;
    } else if (tableSize == 2) {
        bitCount = 1;
        entries = 2;
        s_nRowBytes = (((UINT)width + 31) / 8) & ~3u;
    } else {
        bitCount = 4;
        entries = 16;
        s_nRowBytes = (((UINT)width + 7) / 2) & ~3u;
    }
    FreeRow();
    s_pRow = (BYTE*)malloc(s_nRowBytes);
    if (!s_pRow)
        GifReadFailed();
    WriteBmpFrame(width, height, bitCount, entries, table);

    int x = 0, r = 0, pass = 0;
    bool complete = false;
    int value;
    while ((value = LzwReadByte()) >= 0) {
        StorePixel(x, value, bitCount);
        if (++x == width) {
            PutRow(r);
            x = 0;
            r = NextRow(r, height, interlaced, &pass);
            if (r >= height) {
                complete = true;
                break;
            }
        }
    }
    // Once every row is in, the rest of the image data (the end code, surplus
    // pixels, or nothing when an encoder left the end code out) is skipped up to
    // its terminator, so that the block loop goes on behind it.
    if (complete && !s_bEndOfData) {
        BYTE block[256];
        while (ReadSubBlock(block) > 0) {
        }
    }
}

} // namespace

void GifReadFailed() {
    throw GifAbandon{kGifReadFailed};
}

namespace {

void ReadBlocks(int nImage) {
    memset(s_globalTable, 0, sizeof s_globalTable);
    memset(s_localTable, 0, sizeof s_localTable);
    s_bZeroBlock = false;

    char signature[6];
    ReadExactly(signature, 6);
    if (memcmp(signature, "GIF", 3) != 0 ||
        (memcmp(signature + 3, "87a", 3) != 0 && memcmp(signature + 3, "89a", 3) != 0))
        GifReadFailed();

    BYTE screen[7];
    ReadExactly(screen, 7);
    s_nGlobalSize = 2 << (screen[4] & 7);
    if (screen[4] & 0x80)
        ReadColorMap(s_nGlobalSize, s_globalTable);

    int imageCount = 0;
    for (;;) {
        int c = ReadByte();
        if (c == 0x3B) {
            if (imageCount < nImage)
                throw GifAbandon{kGifReadNoImage};
            return;
        }
        if (c == 0x21) {
            SkipExtension(ReadByte());
        } else if (c == 0x2C) {
            ++imageCount;
            BYTE desc[9];
            ReadExactly(desc, 9);
            int width = desc[4] | (desc[5] << 8);
            int height = desc[6] | (desc[7] << 8);
            bool interlaced = (desc[8] & 0x40) != 0;
            const RGBQUAD* table = s_globalTable;
            int tableSize = s_nGlobalSize;
            if (desc[8] & 0x80) {
                tableSize = 1 << ((desc[8] & 7) + 1);
                ReadColorMap(tableSize, s_localTable);
                table = s_localTable;
            }
            DecodeImage(width, height, table, tableSize, interlaced, imageCount == nImage);
        }
        // Any other byte is ignored.
    }
}

} // namespace

int ReadGif(FILE* stream, int nImage) {
    s_in = stream;
    try {
        ReadBlocks(nImage);
        return kGifReadOk;
    } catch (const GifAbandon& abandon) {
        // Half a BMP must never pass for an image.
        try {
            exchangeFile.SetLength(0);
        } catch (const CFileException&) {
        }
        FreeRow();
        return abandon.status;
    }
}

int ReadGifToExchange(LPCSTR lpszPath, int nImage) {
    FILE* stream = HostFopen(lpszPath, "rb");
    if (!stream)
        return kGifReadCannotOpen;
    int status = ReadGif(stream, nImage);
    fclose(stream);
    FreeRow();
    return status;
}
