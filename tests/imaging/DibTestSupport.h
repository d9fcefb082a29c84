// Helpers shared by the DIB and BMP tests: building packed DIBs of known pixels,
// reading a pixel's colour back, and temporary files seen from both sides.
#pragma once
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "imaging/Dib.h"
#include "framework/HostPath.h"

// A packed DIB in the C heap (40-byte header, biClrUsed 0 for colour depths, so a
// full table) whose pixel (x, y), counted from the top, is index(x, y) for colour
// depths and the colour index(x, y) as 0x00RRGGBB at 24 bits.
template <class F>
LPBITMAPINFOHEADER MakeTestDib(LONG width, LONG height, WORD bits, const std::vector<RGBQUAD>& table,
                               F index) {
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof(bi);
    bi.biWidth = width;
    bi.biHeight = height;
    bi.biPlanes = 1;
    bi.biBitCount = bits;
    const DWORD stride = DibRowBytes(width, bits);
    const WORD tableBytes = DibColorTableBytes(&bi);
    BYTE* block = static_cast<BYTE*>(calloc(1, sizeof(bi) + tableBytes + stride * height));
    memcpy(block, &bi, sizeof(bi));
    memcpy(block + sizeof(bi), table.data(), table.size() * sizeof(RGBQUAD));
    BYTE* rows = block + sizeof(bi) + tableBytes;
    for (LONG y = 0; y < height; ++y) {
        BYTE* row = rows + (height - 1 - y) * stride;
        for (LONG x = 0; x < width; ++x) {
            const DWORD v = index(x, y);
            if (bits == 24) {
                row[3 * x] = (BYTE)v;
                row[3 * x + 1] = (BYTE)(v >> 8);
                row[3 * x + 2] = (BYTE)(v >> 16);
            } else {
                const int perByte = 8 / bits;
                row[x / perByte] |= v << (8 - bits * (x % perByte + 1));
            }
        }
    }
    return reinterpret_cast<LPBITMAPINFOHEADER>(block);
}

// The colour of pixel (x, y), counted from the top, as 0x00RRGGBB. Uncompressed
// 1, 4, 8, 24 and 32-bit DIBs with positive heights.
inline DWORD DibPixelColor(const BITMAPINFOHEADER* dib, LONG x, LONG y) {
    const BYTE* row = DibPixels(dib) + (dib->biHeight - 1 - y) * DibRowBytes(dib->biWidth, dib->biBitCount);
    const WORD bits = dib->biBitCount;
    if (bits >= 24) {
        const BYTE* p = row + x * (bits / 8);
        return p[0] | (p[1] << 8) | (p[2] << 16);
    }
    const int perByte = 8 / bits;
    const int index = (row[x / perByte] >> (8 - bits * (x % perByte + 1))) & ((1 << bits) - 1);
    const RGBQUAD& q =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(dib) + dib->biSize)[index];
    return q.rgbBlue | (q.rgbGreen << 8) | (q.rgbRed << 16);
}

inline RGBQUAD Rgb(BYTE r, BYTE g, BYTE b) {
    return RGBQUAD{b, g, r, 0};
}

// A test file in the Wine temporary folder: its Windows path for our code and
// its host path for the reference tools. Removed on destruction. The name gets the
// process id in front: CTest runs test cases side by side, each in a process.
struct TempFile {
    explicit TempFile(const std::string& name) {
        char dir[MAX_PATH];
        GetTempPathA(sizeof(dir), dir);
        windowsPath = std::string(dir) + std::to_string(GetCurrentProcessId()) + "-" + name;
        char host[1024];
        if (HostPathFor(windowsPath.c_str(), host, sizeof(host)))
            hostPath = host;
        DeleteFileA(windowsPath.c_str());
    }
    ~TempFile() { DeleteFileA(windowsPath.c_str()); }
    std::string windowsPath;
    std::string hostPath;
};

// Everything a native command writes to its standard output.
inline std::string RunHost(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

inline std::vector<BYTE> ReadWholeFile(const std::string& windowsPath) {
    std::vector<BYTE> bytes;
    HANDLE h =
        CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(GetFileSize(h, nullptr));
    DWORD got = 0;
    if (!bytes.empty())
        ReadFile(h, bytes.data(), (DWORD)bytes.size(), &got, nullptr);
    bytes.resize(got);
    CloseHandle(h);
    return bytes;
}
