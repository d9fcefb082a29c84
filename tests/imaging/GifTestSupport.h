// What the GIF tests share: temporary files in the prefix, the exchange file,
// BMP and GIF bytes made by hand or by giflib, and watching for message boxes.
// Include after tests/support/GTest.h.
#pragma once
#include <windows.h>
#include <gif_lib.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "imaging/Exchange.h"
#include "framework/HostPath.h"
#include "tests/support/TestFiles.h"

namespace giftest {

typedef std::vector<BYTE> Bytes;

// A fresh DOS path in the prefix's temporary folder.
inline std::string TempPath(const char* tag) {
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, tag, 0, path);
    return path;
}

using testfiles::HostPath;
using testfiles::ReadFileBytes;

inline void WriteFileBytes(const std::string& dosPath, const Bytes& bytes) {
    FILE* f = HostFopen(dosPath.c_str(), "wb");
    ASSERT_TRUE(f != nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Opens the exchange file on a new temporary file, as start-up does.
inline void OpenExchange() {
    std::string path = TempPath("kst");
    CopyPath(g_szExchangePath, path.c_str());
    ASSERT_TRUE(OpenExchangeFileAt(g_szExchangePath));
}

inline Bytes ExchangeBytes() {
    Bytes bytes((size_t)exchangeFile.GetLength());
    exchangeFile.SeekToBegin();
    if (!bytes.empty())
        exchangeFile.Read(bytes.data(), (UINT)bytes.size());
    return bytes;
}

inline void PutLe(Bytes& b, size_t at, DWORD value, int size) {
    for (int i = 0; i < size; ++i)
        b[at + i] = (BYTE)(value >> (8 * i));
}

inline DWORD GetLe(const Bytes& b, size_t at, int size) {
    DWORD value = 0;
    for (int i = 0; i < size; ++i)
        value |= (DWORD)b[at + i] << (8 * i);
    return value;
}

// A bottom-up 8-bit BMP with the given table; pixels are top-down, one byte each.
inline Bytes MakeBmp8(int width, int height, const std::vector<RGBQUAD>& table, const Bytes& pixels) {
    DWORD stride = (width + 3) & ~3;
    DWORD offBits = 54 + 4 * (DWORD)table.size();
    Bytes b(offBits + stride * height, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe(b, 2, (DWORD)b.size(), 4);
    PutLe(b, 10, offBits, 4);
    PutLe(b, 14, 40, 4);
    PutLe(b, 18, width, 4);
    PutLe(b, 22, height, 4);
    PutLe(b, 26, 1, 2);
    PutLe(b, 28, 8, 2);
    PutLe(b, 34, stride * height, 4);
    PutLe(b, 46, (DWORD)table.size(), 4);
    memcpy(&b[54], table.data(), 4 * table.size());
    for (int y = 0; y < height; ++y)
        memcpy(&b[offBits + stride * (height - 1 - y)], &pixels[(size_t)y * width], width);
    return b;
}

inline RGBQUAD Rgb(BYTE r, BYTE g, BYTE b) {
    RGBQUAD q = {b, g, r, 0};
    return q;
}

// A table of n distinct colours.
inline std::vector<RGBQUAD> DistinctTable(int n) {
    std::vector<RGBQUAD> table;
    for (int i = 0; i < n; ++i)
        table.push_back(Rgb((BYTE)(i * 7 + 3), (BYTE)(255 - i), (BYTE)(i * 13)));
    return table;
}

// One image of a GIF made by giflib.
struct GifFrame {
    int width, height;
    Bytes pixels;                    // top-down indices
    std::vector<GifColorType> local; // empty: no local table
    bool interlaced = false;
};

// Writes a GIF through giflib: a global table (may be empty), extensions before
// each frame when given.
inline void MakeGifWithGiflib(const std::string& dosPath, int screenW, int screenH,
                              const std::vector<GifColorType>& global, const std::vector<GifFrame>& frames,
                              int transparentIndex = -1) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(HostPath(dosPath).c_str(), false, &error);
    ASSERT_TRUE(gif != nullptr);
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = nullptr;
    if (!global.empty())
        map = GifMakeMapObject((int)global.size(), global.data());
    ASSERT_EQ(GIF_OK, EGifPutScreenDesc(gif, screenW, screenH, 8, 0, map));
    for (const GifFrame& frame : frames) {
        if (transparentIndex >= 0) {
            GifByteType control[4] = {0x01, 0, 0, (GifByteType)transparentIndex};
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
        }
        ColorMapObject* local = nullptr;
        if (!frame.local.empty())
            local = GifMakeMapObject((int)frame.local.size(), frame.local.data());
        ASSERT_EQ(GIF_OK, EGifPutImageDesc(gif, 0, 0, frame.width, frame.height, frame.interlaced, local));
        std::vector<int> order;
        if (frame.interlaced) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int p = 0; p < 4; ++p)
                for (int y = start[p]; y < frame.height; y += step[p])
                    order.push_back(y);
        } else {
            for (int y = 0; y < frame.height; ++y)
                order.push_back(y);
        }
        for (int y : order)
            ASSERT_EQ(GIF_OK,
                      EGifPutLine(gif, (GifPixelType*)&frame.pixels[(size_t)y * frame.width], frame.width));
        if (local)
            GifFreeMapObject(local);
    }
    if (map)
        GifFreeMapObject(map);
    ASSERT_EQ(GIF_OK, EGifCloseFile(gif, &error));
}

inline std::vector<GifColorType> GifColors(int n) {
    std::vector<GifColorType> colors;
    for (int i = 0; i < n; ++i)
        colors.push_back({(GifByteType)(i * 7 + 3), (GifByteType)(255 - i), (GifByteType)(i * 13)});
    return colors;
}

// Answers every message box this process shows while it is alive, the way a user
// would, and counts them: the codecs must show none, their callers one.
class BoxWatch {
public:
    BoxWatch() {
        s_count = 0;
        s_text.clear();
        s_caption.clear();
        m_timer = SetTimer(NULL, 0, 30, Poll);
    }
    ~BoxWatch() { KillTimer(NULL, m_timer); }
    int Count() const { return s_count; }
    const std::string& Text() const { return s_text; }
    const std::string& Caption() const { return s_caption; }

private:
    static BOOL CALLBACK FindText(HWND child, LPARAM) {
        char cls[64] = "", text[256] = "";
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, text, sizeof text);
        if (lstrcmpiA(cls, "Static") == 0 && text[0])
            s_text = text;
        return TRUE;
    }
    static BOOL CALLBACK FindBox(HWND hwnd, LPARAM) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        char cls[64] = "", caption[256] = "";
        GetClassNameA(hwnd, cls, sizeof cls);
        if (pid != GetCurrentProcessId() || strcmp(cls, "#32770") != 0 || !IsWindowVisible(hwnd) ||
            hwnd == s_answered)
            return TRUE;
        s_answered = hwnd;
        ++s_count;
        GetWindowTextA(hwnd, caption, sizeof caption);
        s_caption = caption;
        EnumChildWindows(hwnd, FindText, 0);
        PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(hwnd, IDOK));
        return FALSE;
    }
    static VOID CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) { EnumWindows(FindBox, 0); }

    static inline int s_count = 0;
    static inline HWND s_answered = NULL;
    static inline std::string s_text, s_caption;
    UINT_PTR m_timer;
};
} // namespace giftest
