// Reading one BMP image from the exchange file. Only file-object calls and byte
// logic here, so the fuzzer builds this file natively over a memory-backed CFile.
//
// The exchange file also carries BMPs that users hand us, so nothing in the
// headers is trusted: every size is computed in 64 bits and checked against the
// bytes the file really has before anything is allocated or read.
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "imaging/Exchange.h"
#include <stdlib.h>
#include <string.h>
#include <memory>

namespace {
const DWORD kFileHeaderBytes = 14;
const DWORD kInfoHeaderBytes = sizeof(BITMAPINFOHEADER);
// The longest header version (BITMAPV5HEADER); the versions in between share the
// first 40 bytes, so the rest is skipped.
const DWORD kMaxHeaderBytes = 124;
const DWORD kMaxColors = 256;
// Decoded pixel bytes we are willing to describe; run-length data are small in
// the file but every consumer unpacks them to the full size.
const ULONGLONG kMaxImageBytes = 0x40000000;

struct FreeDibDeleter {
    void operator()(BITMAPINFOHEADER* p) const { FreeDib(p); }
};
typedef std::unique_ptr<BITMAPINFOHEADER, FreeDibDeleter> DibHolder;

DWORD LittleU32(const BYTE* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | ((DWORD)p[3] << 24);
}

bool ReadExactly(void* lpBuf, ULONGLONG nCount) {
    return exchangeFile.Read(lpBuf, (UINT)nCount) == nCount;
}

bool IsKnownFormat(const BITMAPINFOHEADER& bi) {
    switch (bi.biBitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return false;
    }
    switch (bi.biCompression) {
    case BI_RGB:
        return true;
    case BI_RLE8:
        return bi.biBitCount == 8 && bi.biHeight > 0;
    case BI_RLE4:
        return bi.biBitCount == 4 && bi.biHeight > 0;
    case BI_BITFIELDS:
        return bi.biBitCount == 16 || bi.biBitCount == 32;
    default:
        return false;
    }
}

// Entries of the colour table that follows the header. An unset count means the
// full table at 1, 4 and 8 bits, and one entry at 32 bits as the system has always
// read it; at 16 bits it stays 0, since 65,536 entries would not match the table
// size every consumer computes and would swallow the pixel rows.
DWORD TableEntries(const BITMAPINFOHEADER& bi) {
    if (bi.biClrUsed != 0)
        return bi.biClrUsed;
    if (bi.biBitCount <= 8)
        return 1u << bi.biBitCount;
    return bi.biBitCount == 32 ? 1 : 0;
}

// Turns top-down rows into the bottom-up order every DIB of ours has.
void FlipRows(BYTE* pRows, DWORD dwStride, LONG nRows) {
    std::unique_ptr<BYTE[]> tmp(new BYTE[dwStride]);
    for (LONG top = 0, bottom = nRows - 1; top < bottom; ++top, --bottom) {
        memcpy(tmp.get(), pRows + (size_t)top * dwStride, dwStride);
        memcpy(pRows + (size_t)top * dwStride, pRows + (size_t)bottom * dwStride, dwStride);
        memcpy(pRows + (size_t)bottom * dwStride, tmp.get(), dwStride);
    }
}
} // namespace

LPBITMAPINFOHEADER ReadBmpFromExchange() {
    const ULONGLONG start = exchangeFile.GetPosition();
    const ULONGLONG length = exchangeFile.GetLength();

    BYTE fileHeader[kFileHeaderBytes];
    if (!ReadExactly(fileHeader, kFileHeaderBytes) || fileHeader[0] != 'B' || fileHeader[1] != 'M')
        return nullptr;
    const DWORD offBits = LittleU32(fileHeader + 10);

    // The core header (12 bytes) and anything shorter than the information header
    // are not read; longer versions are, by their first 40 bytes.
    BITMAPINFOHEADER bi;
    if (!ReadExactly(&bi, kInfoHeaderBytes))
        return nullptr;
    const DWORD headerBytes = bi.biSize;
    if (headerBytes < kInfoHeaderBytes || headerBytes > kMaxHeaderBytes)
        return nullptr;
    if (bi.biWidth <= 0 || bi.biHeight == 0 || bi.biHeight < -0x7FFFFFFF || !IsKnownFormat(bi))
        return nullptr;

    const bool topDown = bi.biHeight < 0;
    const LONG rows = topDown ? -bi.biHeight : bi.biHeight;
    const ULONGLONG stride = ((ULONGLONG)bi.biBitCount * (DWORD)bi.biWidth + 31) / 32 * 4;
    const ULONGLONG unpackedBytes = stride * (ULONGLONG)rows;
    if (unpackedBytes > kMaxImageBytes)
        return nullptr;

    const DWORD colors = TableEntries(bi);
    if (colors > kMaxColors)
        return nullptr;
    const ULONGLONG tableBytes = colors * sizeof(RGBQUAD);

    const bool runLength = bi.biCompression == BI_RLE8 || bi.biCompression == BI_RLE4;
    const ULONGLONG imageBytes = runLength ? bi.biSizeImage : unpackedBytes;
    if (imageBytes == 0)
        return nullptr;

    // The colour table starts right after the header, whatever its version; the
    // rows at bfOffBits, counted from the start of this BMP, or right after the
    // table when it is 0.
    const ULONGLONG tablePos = start + kFileHeaderBytes + headerBytes;
    const ULONGLONG pixelPos = offBits != 0 ? start + offBits : tablePos + tableBytes;
    if (tablePos + tableBytes > length || pixelPos + imageBytes > length)
        return nullptr;

    DibHolder dib((LPBITMAPINFOHEADER)malloc((size_t)(kInfoHeaderBytes + tableBytes + imageBytes)));
    if (!dib)
        return nullptr;
    bi.biSize = kInfoHeaderBytes;
    bi.biHeight = rows;
    bi.biClrUsed = colors;
    bi.biSizeImage = (DWORD)imageBytes;
    *dib = bi;

    BYTE* pTable = reinterpret_cast<BYTE*>(dib.get()) + kInfoHeaderBytes;
    exchangeFile.Seek((LONGLONG)tablePos, CFile::begin);
    if (!ReadExactly(pTable, tableBytes))
        return nullptr;
    exchangeFile.Seek((LONGLONG)pixelPos, CFile::begin);
    if (!ReadExactly(pTable + tableBytes, imageBytes))
        return nullptr;
    if (topDown)
        FlipRows(pTable + tableBytes, (DWORD)stride, rows);
    return dib.release();
}
