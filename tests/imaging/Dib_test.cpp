#include "tests/support/GTest.h"
#include <windows.h>
#include <memory>
#include "imaging/Dib.h"
#include "framework/Gdi.h"
#include "tests/imaging/DibTestSupport.h"

namespace {
struct DibFree {
    void operator()(BITMAPINFOHEADER* p) const { FreeDib(p); }
};
typedef std::unique_ptr<BITMAPINFOHEADER, DibFree> Dib;

BITMAPINFOHEADER Header(WORD bits, DWORD clrUsed = 0) {
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof(bi);
    bi.biWidth = 4;
    bi.biHeight = 2;
    bi.biPlanes = 1;
    bi.biBitCount = bits;
    bi.biClrUsed = clrUsed;
    return bi;
}

BITMAPINFOHEADER CoreHeader(WORD bits) {
    BITMAPINFOHEADER bi = {};
    BITMAPCOREHEADER* core = reinterpret_cast<BITMAPCOREHEADER*>(&bi);
    core->bcSize = sizeof(BITMAPCOREHEADER);
    core->bcWidth = 4;
    core->bcHeight = 2;
    core->bcPlanes = 1;
    core->bcBitCount = bits;
    return bi;
}

// A colour for every pixel that differs from its neighbours in all three channels.
DWORD Pattern(LONG x, LONG y) {
    return ((x * 37 + y * 11) & 0xFF) << 16 | ((x * 5 + y * 71) & 0xFF) << 8 | ((x ^ y) * 13 & 0xFF);
}

// A screen-compatible device bitmap holding Pattern, drawn through a 24-bit DIB.
HBITMAP PatternBitmap(LONG width, LONG height) {
    Dib source(MakeTestDib(width, height, 24, {}, Pattern));
    return BitmapFromDib(source.get(), nullptr);
}

std::vector<RGBQUAD> SixteenColours() {
    std::vector<RGBQUAD> t;
    for (int i = 0; i < 16; ++i)
        t.push_back(Rgb((BYTE)(i * 16 + 3), (BYTE)(250 - i * 13), (BYTE)(i * i + 7)));
    return t;
}
} // namespace

TEST(DibSizeRules, StrideOfEachDepth) {
    struct Case {
        DWORD width;
        WORD bits;
        DWORD stride;
    } cases[] = {{1, 24, 4}, {33, 1, 8}, {3, 4, 4},   {4, 8, 4}, {1, 1, 4},
                 {32, 1, 4}, {5, 8, 8},  {3, 24, 12}, {0, 8, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(c.stride, DibRowBytes(c.width, c.bits)) << c.width << " x " << c.bits << " bits";
}

TEST(DibSizeRules, ColourTableAndCount) {
    struct Case {
        BITMAPINFOHEADER header;
        WORD tableBytes;
        WORD colours;
    } cases[] = {
        {Header(8, 3), 12, 3},    {Header(24), 0, 0},      {CoreHeader(8), 768, 256},
        {Header(1), 8, 2},        {Header(4), 64, 16},     {Header(8), 1024, 256},
        {CoreHeader(1), 6, 2},    {CoreHeader(4), 48, 16}, {CoreHeader(24), 0, 0},
        {Header(24, 16), 64, 16}, {Header(32), 0, 0},      {Header(8, 0x10005), 20, 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.tableBytes, DibColorTableBytes(&c.header))
            << c.header.biSize << "/" << c.header.biBitCount;
        EXPECT_EQ(c.colours, DibColorCount(&c.header)) << c.header.biSize << "/" << c.header.biBitCount;
    }
}

TEST(DibFromBitmapAtDepth, RequestTable) {
    CGdiObject<HBITMAP> bitmap(PatternBitmap(16, 8));
    ASSERT_TRUE(bitmap);
    struct Case {
        WORD bits;
        DWORD compression;
        WORD madeBits; // 0: none
    } cases[] = {{0, BI_RLE4, 4},  {0, BI_RLE8, 8},     {1, BI_RGB, 1},   {4, BI_RGB, 4},  {4, BI_RLE4, 4},
                 {8, BI_RGB, 8},   {8, BI_RLE8, 8},     {24, BI_RGB, 24}, {8, BI_RLE4, 0}, {0, BI_RGB, 0},
                 {24, BI_RLE8, 0}, {1, BI_RLE8, 0},     {16, BI_RGB, 0},  {32, BI_RGB, 0}, {2, BI_RGB, 0},
                 {4, BI_RLE8, 0},  {8, BI_BITFIELDS, 0}};
    for (const Case& c : cases) {
        Dib dib(DibFromBitmapAtDepth(bitmap, c.bits, c.compression, nullptr));
        if (c.madeBits == 0) {
            EXPECT_FALSE(dib) << c.bits << "/" << c.compression;
            continue;
        }
        ASSERT_TRUE(dib) << c.bits << "/" << c.compression;
        EXPECT_EQ(c.madeBits, dib->biBitCount);
        EXPECT_EQ(c.compression, dib->biCompression);
        EXPECT_EQ(16, dib->biWidth);
        EXPECT_EQ(8, dib->biHeight);
    }
    EXPECT_FALSE(DibFromBitmapAtDepth(nullptr, 24, BI_RGB, nullptr));
}

TEST(DibFromBitmap, TwentyFourBitRoundTripIsExact) {
    const LONG w = 37, h = 23; // odd sizes exercise the row padding
    CGdiObject<HBITMAP> bitmap(PatternBitmap(w, h));
    ASSERT_TRUE(bitmap);
    Dib dib(DibFromBitmap(bitmap, nullptr));
    ASSERT_TRUE(dib);
    EXPECT_EQ(24, dib->biBitCount) << "a 32-bit screen bitmap gives 24 bits";
    ASSERT_EQ(w, dib->biWidth);
    ASSERT_EQ(h, dib->biHeight);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            ASSERT_EQ(Pattern(x, y), DibPixelColor(dib.get(), x, y)) << x << "," << y;

    // And back: the DIB made into a bitmap again reads out the same.
    CGdiObject<HBITMAP> again(BitmapFromDib(dib.get(), nullptr));
    ASSERT_TRUE(again);
    Dib second(DibFromBitmapAtDepth(again, 24, BI_RGB, nullptr));
    ASSERT_TRUE(second);
    EXPECT_EQ(0, memcmp(DibPixels(dib.get()), DibPixels(second.get()), DibRowBytes(w, 24) * h));
}

TEST(DibFromBitmap, DepthClassOfTheBitmap) {
    struct Case {
        UINT bitsPerPixel;
        WORD dibBits;
    } cases[] = {{1, 1}, {4, 4}, {8, 8}, {16, 24}, {24, 24}, {32, 24}};
    for (const Case& c : cases) {
        CGdiObject<HBITMAP> bitmap(CreateBitmap(19, 3, 1, c.bitsPerPixel, nullptr));
        ASSERT_TRUE(bitmap) << c.bitsPerPixel;
        Dib dib(DibFromBitmap(bitmap, nullptr));
        ASSERT_TRUE(dib) << c.bitsPerPixel;
        EXPECT_EQ(c.dibBits, dib->biBitCount) << c.bitsPerPixel;
        EXPECT_EQ(c.dibBits <= 8 ? 1u << c.dibBits : 0u, DibColorCount(dib.get())) << c.bitsPerPixel;
    }

    EXPECT_FALSE(DibFromBitmap(nullptr, nullptr));
    HBITMAP deleted = CreateBitmap(2, 2, 1, 1, nullptr);
    DeleteObject(deleted);
    EXPECT_FALSE(DibFromBitmap(deleted, nullptr));
}

TEST(DibFromBitmapAtDepth, ColourDepthsCarryFullTables) {
    CGdiObject<HBITMAP> bitmap(PatternBitmap(20, 10));
    struct Case {
        WORD bits;
        WORD entries;
    } cases[] = {{1, 2}, {4, 16}, {8, 256}};
    CGdiObject<HPALETTE> palette(MakeScreenPalette());
    for (const Case& c : cases) {
        Dib dib(DibFromBitmapAtDepth(bitmap, c.bits, BI_RGB, palette));
        ASSERT_TRUE(dib) << c.bits;
        EXPECT_EQ(c.entries, DibColorCount(dib.get()));
        EXPECT_EQ(c.entries * 4u, DibColorTableBytes(dib.get()));
        EXPECT_EQ(DibRowBytes(20, c.bits) * 10, dib->biSizeImage);
    }
}

TEST(ConvertDibDepth, RaisesKeepEveryColourAndIndex) {
    const std::vector<RGBQUAD> sixteen = SixteenColours();
    const std::vector<RGBQUAD> two = {Rgb(12, 200, 34), Rgb(250, 3, 120)};
    struct Case {
        WORD from;
        WORD to;
    } cases[] = {{1, 4}, {1, 8}, {4, 8}, {4, 4}, {8, 8}, {1, 1}};
    for (const Case& c : cases) {
        const std::vector<RGBQUAD>& table = c.from == 1 ? two : sixteen;
        const DWORD colours = (DWORD)table.size();
        auto index = [&](LONG x, LONG y) { return (DWORD)((x * 3 + y) % colours); };
        Dib source(MakeTestDib(13, 5, c.from, table, index));
        Dib raised(ConvertDibDepth(source.get(), c.to, BI_RGB));
        ASSERT_TRUE(raised) << c.from << " -> " << c.to;
        EXPECT_EQ(c.to, raised->biBitCount);
        EXPECT_EQ(1u << c.to, DibColorCount(raised.get()));
        for (LONG y = 0; y < 5; ++y)
            for (LONG x = 0; x < 13; ++x)
                ASSERT_EQ(DibPixelColor(source.get(), x, y), DibPixelColor(raised.get(), x, y))
                    << c.from << " -> " << c.to << " at " << x << "," << y;
    }
}

TEST(ConvertDibDepth, ColourTableToTwentyFourBitsIsExact) {
    Dib source(
        MakeTestDib(11, 7, 4, SixteenColours(), [](LONG x, LONG y) { return (DWORD)((x + 2 * y) % 16); }));
    Dib full(ConvertDibDepth(source.get(), 24, BI_RGB));
    ASSERT_TRUE(full);
    EXPECT_EQ(24, full->biBitCount);
    for (LONG y = 0; y < 7; ++y)
        for (LONG x = 0; x < 11; ++x)
            ASSERT_EQ(DibPixelColor(source.get(), x, y), DibPixelColor(full.get(), x, y)) << x << "," << y;
    EXPECT_EQ(4, source->biBitCount) << "the source stays as it was";
}

TEST(ConvertDibDepth, ReductionsGiveValidTables) {
    Dib source(MakeTestDib(9, 4, 8, SixteenColours(), [](LONG x, LONG y) { return (DWORD)((x + y) % 16); }));
    for (WORD bits : {1, 4}) {
        Dib reduced(ConvertDibDepth(source.get(), bits, BI_RGB));
        ASSERT_TRUE(reduced) << bits;
        EXPECT_EQ(bits, reduced->biBitCount);
        EXPECT_EQ(1u << bits, DibColorCount(reduced.get()));
    }
}

// Run-length DIBs unpack, through the platform at 24 bits, to what the same
// request without compression gives.
TEST(RunLength, UnpacksToTheUncompressedPixels) {
    CGdiObject<HBITMAP> bitmap(PatternBitmap(300, 6)); // rows longer than one run of 255
    Dib eight(
        MakeTestDib(300, 6, 8, SixteenColours(), [](LONG x, LONG y) { return (DWORD)(x / 7 + y) % 16; }));
    Dib four(MakeTestDib(17, 3, 4, SixteenColours(), [](LONG x, LONG y) { return (DWORD)(x / 2 + y) % 16; }));
    struct Case {
        const char* what;
        Dib packed, plain;
    } cases[] = {
        {"bitmap at 8 bits", Dib(DibFromBitmapAtDepth(bitmap, 8, BI_RLE8, nullptr)),
         Dib(DibFromBitmapAtDepth(bitmap, 8, BI_RGB, nullptr))},
        {"bitmap at 4 bits", Dib(DibFromBitmapAtDepth(bitmap, 0, BI_RLE4, nullptr)),
         Dib(DibFromBitmapAtDepth(bitmap, 4, BI_RGB, nullptr))},
        {"8-bit DIB", Dib(ConvertDibDepth(eight.get(), 0, BI_RLE8)),
         Dib(ConvertDibDepth(eight.get(), 8, BI_RGB))},
        {"4-bit DIB", Dib(ConvertDibDepth(four.get(), 4, BI_RLE4)),
         Dib(ConvertDibDepth(four.get(), 4, BI_RGB))},
    };
    for (Case& c : cases) {
        ASSERT_TRUE(c.packed && c.plain) << c.what;
        EXPECT_NE((DWORD)BI_RGB, c.packed->biCompression) << c.what;
        Dib a(ConvertDibDepth(c.packed.get(), 24, BI_RGB)), b(ConvertDibDepth(c.plain.get(), 24, BI_RGB));
        ASSERT_TRUE(a && b) << c.what;
        ASSERT_EQ(a->biSizeImage, b->biSizeImage) << c.what;
        EXPECT_EQ(0, memcmp(DibPixels(a.get()), DibPixels(b.get()), a->biSizeImage)) << c.what;
    }
}

TEST(ConvertDibDepth, RefusedRequests) {
    Dib trueColour(MakeTestDib(4, 4, 24, {}, Pattern));
    Dib eight(MakeTestDib(4, 4, 8, SixteenColours(), [](LONG x, LONG) { return (DWORD)x; }));
    struct Case {
        const BITMAPINFOHEADER* dib;
        WORD bits;
        DWORD compression;
    } cases[] = {{trueColour.get(), 8, BI_RGB},  {trueColour.get(), 24, BI_RGB},
                 {trueColour.get(), 0, BI_RGB},  {eight.get(), 0, BI_RLE4},
                 {eight.get(), 8, BI_RLE4},      {eight.get(), 16, BI_RGB},
                 {eight.get(), 0, BI_BITFIELDS}, {nullptr, 24, BI_RGB}};
    for (const Case& c : cases)
        EXPECT_FALSE(Dib(ConvertDibDepth(c.dib, c.bits, c.compression))) << c.bits << "/" << c.compression;
}

TEST(GrabScreenRect, ClipsToTheDisplay) {
    CCreatedDC screen(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    const LONG cx = GetDeviceCaps(screen, HORZRES), cy = GetDeviceCaps(screen, VERTRES);
    struct Case {
        RECT rc;
        LONG width;
        LONG height; // 0: none
    } cases[] = {{{-10, -10, 50, 40}, 50, 40},
                 {{cx - 30, cy - 20, cx + 100, cy + 100}, 30, 20},
                 {{5, 5, 5, 50}, 0, 0},
                 {{5, 50, 40, 10}, 0, 0},
                 {{cx + 10, 0, cx + 40, 30}, 0, 0},
                 {{-50, -50, -10, -10}, 0, 0}};
    for (const Case& c : cases) {
        CGdiObject<HBITMAP> bitmap(GrabScreenRect(c.rc));
        if (c.width == 0) {
            EXPECT_FALSE(bitmap) << c.rc.left << "," << c.rc.top;
            continue;
        }
        ASSERT_TRUE(bitmap) << c.rc.left << "," << c.rc.top;
        BITMAP bm;
        ASSERT_TRUE(GetObjectA(bitmap, sizeof(bm), &bm));
        EXPECT_EQ(c.width, bm.bmWidth);
        EXPECT_EQ(c.height, bm.bmHeight);
    }
}

TEST(GrabScreenRect, CopiesWhatTheScreenShows) {
    // A pattern painted on the display comes back through the grab and a DIB.
    const LONG w = 40, h = 30;
    CGdiObject<HBITMAP> pattern(PatternBitmap(w, h));
    {
        HDC screen = GetDC(nullptr);
        CCreatedDC memory(CreateCompatibleDC(screen));
        CSelectObject select(memory, pattern);
        ASSERT_TRUE(BitBlt(screen, 0, 0, w, h, memory, 0, 0, SRCCOPY));
        ReleaseDC(nullptr, screen);
    }
    CGdiObject<HBITMAP> grabbed(GrabScreenRect(RECT{-10, -10, w, h}));
    ASSERT_TRUE(grabbed);
    Dib dib(DibFromBitmap(grabbed, nullptr));
    ASSERT_TRUE(dib);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            ASSERT_EQ(Pattern(x, y), DibPixelColor(dib.get(), x, y)) << x << "," << y;
}

TEST(MakeScreenPalette, DeepScreenGivesAValidPalette) {
    CGdiObject<HPALETTE> palette(MakeScreenPalette());
    ASSERT_TRUE(palette);
    WORD entries = 0;
    ASSERT_TRUE(GetObjectA(palette, sizeof(entries), &entries));
    EXPECT_EQ(256, entries);
}

// Reductions of deeper images: an image with few enough colours for the depth keeps
// every one, whichever way it is reduced (the platform's fixed table keeps almost
// none of them).
TEST(Reduction, FewColoursSurviveExactly) {
    struct Case {
        DWORD colours;
        WORD bits;
        DWORD compression;
    } cases[] = {{200, 8, BI_RGB}, {256, 8, BI_RLE8}, {16, 4, BI_RGB}, {16, 4, BI_RLE4}, {2, 1, BI_RGB}};
    CGdiObject<HPALETTE> screenPalette(MakeScreenPalette());
    for (const Case& c : cases) {
        auto index = [&](LONG x, LONG y) { return (DWORD)((x * 7 + y * 3) % c.colours); };
        auto colour = [&](LONG x, LONG y) { return 0x204060 + index(x, y) * 0x010305; };
        std::vector<RGBQUAD> table;
        for (DWORD i = 0; i < c.colours; ++i) {
            const DWORD v = 0x204060 + i * 0x010305;
            table.push_back(Rgb((BYTE)(v >> 16), (BYTE)(v >> 8), (BYTE)v));
        }
        Dib deep(MakeTestDib(23, 11, 24, {}, colour));
        Dib indexed(MakeTestDib(23, 11, 8, table, index));
        CGdiObject<HBITMAP> bitmap(BitmapFromDib(deep.get(), nullptr));
        ASSERT_TRUE(bitmap);
        Dib fromBitmap(DibFromBitmapAtDepth(bitmap, c.bits, c.compression, screenPalette));
        Dib fromDib(ConvertDibDepth(indexed.get(), c.bits, c.compression));
        for (const Dib* reduced : {&fromBitmap, &fromDib}) {
            const char* route = reduced == &fromBitmap ? "bitmap" : "DIB";
            ASSERT_TRUE(*reduced) << c.colours << " colours from the " << route;
            EXPECT_EQ(c.compression, (*reduced)->biCompression);
            Dib plain(c.compression == BI_RGB ? nullptr : ConvertDibDepth(reduced->get(), 24, BI_RGB));
            const BITMAPINFOHEADER* check = plain ? plain.get() : reduced->get();
            for (LONG y = 0; y < 11; ++y)
                for (LONG x = 0; x < 23; ++x)
                    ASSERT_EQ(colour(x, y), DibPixelColor(check, x, y))
                        << c.colours << " colours from the " << route << " at " << x << "," << y;
        }
    }
}

// A smooth true-colour image at 8 bits gets a palette made for it: a small error
// where the fixed table gives about 24 dB.
TEST(Reduction, SmoothImageGetsAPaletteOfItsOwn) {
    auto smooth = [](LONG x, LONG y) {
        return (DWORD)((x / 2 + 60) << 16 | ((x + y) / 4 + 80) << 8 | (y / 3 + 20));
    };
    Dib deep(MakeTestDib(160, 120, 24, {}, smooth));
    CGdiObject<HBITMAP> bitmap(BitmapFromDib(deep.get(), nullptr));
    CGdiObject<HPALETTE> screenPalette(MakeScreenPalette());
    Dib eight(DibFromBitmapAtDepth(bitmap, 8, BI_RGB, screenPalette));
    ASSERT_TRUE(eight);
    EXPECT_EQ(8, eight->biBitCount);
    double error = 0;
    for (LONG y = 0; y < 120; ++y)
        for (LONG x = 0; x < 160; ++x) {
            const DWORD a = smooth(x, y), b = DibPixelColor(eight.get(), x, y);
            for (int shift = 0; shift < 24; shift += 8) {
                const int d = (int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF);
                error += d * d;
            }
        }
    EXPECT_LT(error / (3.0 * 160 * 120), 10.0) << "mean squared error per channel";
}
