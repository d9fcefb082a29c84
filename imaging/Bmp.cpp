// Writing packed DIBs as BMP files: the 14-byte file header, then the DIB exactly
// as it lies in memory.
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "imaging/Exchange.h"

namespace {
const DWORD kFileHeaderBytes = 14;

// Image bytes of the DIB; uncompressed DIBs get their biSizeImage set to it, so
// the header written is exact even when the platform left it 0.
DWORD ImageBytes(LPBITMAPINFOHEADER lpDib) {
    if (lpDib->biCompression == BI_RLE8 || lpDib->biCompression == BI_RLE4)
        return lpDib->biSizeImage;
    lpDib->biSizeImage = DibRowBytes(lpDib->biWidth, lpDib->biBitCount) * lpDib->biHeight;
    return lpDib->biSizeImage;
}

// The file header (bfType, bfSize, the two reserved words, bfOffBits), packed and
// little-endian; returns the DIB bytes that follow it.
DWORD MakeFileHeader(LPBITMAPINFOHEADER lpDib, BYTE header[kFileHeaderBytes]) {
    const DWORD offBits = kFileHeaderBytes + lpDib->biSize + DibColorTableBytes(lpDib);
    const DWORD dibBytes = offBits - kFileHeaderBytes + ImageBytes(lpDib);
    const DWORD fields[] = {kFileHeaderBytes + dibBytes, 0, offBits};
    header[0] = 'B';
    header[1] = 'M';
    for (int f = 0; f < 3; ++f)
        for (int i = 0; i < 4; ++i)
            header[2 + 4 * f + i] = (BYTE)(fields[f] >> (8 * i));
    return dibBytes;
}
} // namespace

int WriteBmpFile(LPBITMAPINFOHEADER lpDib, LPCSTR lpszPath) {
    if (!lpDib)
        return kBmpNoDib;
    HANDLE hFile = CreateFileA(lpszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return kBmpCannotWrite;
    if (lpDib->biSize != sizeof(BITMAPINFOHEADER)) {
        CloseHandle(hFile);
        return kBmpOk;
    }
    BYTE header[kFileHeaderBytes];
    const DWORD dibBytes = MakeFileHeader(lpDib, header);
    DWORD written = 0;
    // A short write (a full disk) is a failure as much as one that wrote nothing.
    bool ok = WriteFile(hFile, header, kFileHeaderBytes, &written, nullptr) && written == kFileHeaderBytes;
    ok = ok && WriteFile(hFile, lpDib, dibBytes, &written, nullptr) && written == dibBytes;
    CloseHandle(hFile);
    return ok ? kBmpOk : kBmpCannotWrite;
}

int WriteBmpToExchange(LPBITMAPINFOHEADER lpDib) {
    if (!lpDib)
        return kBmpNoDib;
    if (lpDib->biSize != sizeof(BITMAPINFOHEADER))
        return kBmpOk;
    BYTE header[kFileHeaderBytes];
    const DWORD dibBytes = MakeFileHeader(lpDib, header);
    exchangeFile.Write(header, kFileHeaderBytes);
    exchangeFile.Write(lpDib, dibBytes);
    return kBmpOk;
}
