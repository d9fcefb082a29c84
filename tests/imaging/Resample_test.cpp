#include "tests/support/GTest.h"
#include <windows.h>
#include <stdint.h>
#include <memory>
#include <random>
#include <vector>
#include "imaging/Dib.h"
#include "imaging/Resample.h"
#include "framework/Gdi.h"
#include "tests/imaging/DibTestSupport.h"

namespace {
const BYTE kUntouched = 0xCD;

struct DibFree {
    void operator()(BITMAPINFOHEADER* p) const { FreeDib(p); }
};
typedef std::unique_ptr<BITMAPINFOHEADER, DibFree> Dib;

// Rows of the working format (bottom-up, blue-green-red, rows padded to 4 bytes).
struct Image {
    WORD width = 0, height = 0;
    std::vector<BYTE> bytes;

    Image(WORD w, WORD h, BYTE fill = kUntouched)
        : width(w), height(h), bytes(Dib24ImageBytes(w, h) + 16, fill) {}
    BYTE* Pixel(int x, int row) { return bytes.data() + row * Dib24Stride(width) + 3 * x; }
    const BYTE* Pixel(int x, int row) const { return bytes.data() + row * Dib24Stride(width) + 3 * x; }
};

Image Flat(WORD w, WORD h, BYTE value) {
    Image im(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k)
                im.Pixel(x, y)[k] = value;
    return im;
}

Image Noise(WORD w, WORD h, std::mt19937& rng) {
    Image im(w, h);
    for (BYTE& b : im.bytes)
        b = (BYTE)rng();
    return im;
}

bool Down(const Image& src, Image& dst) {
    return ScaleDown24(src.bytes.data(), src.width, src.height, dst.bytes.data(), dst.width, dst.height);
}
bool Up(const Image& src, Image& dst) {
    return ScaleUp24(src.bytes.data(), src.width, src.height, dst.bytes.data(), dst.width, dst.height);
}

// The resampler's steps written out one by one, scattering (reducing) and
// gathering (enlarging) pixel by pixel, for the fast path to be held to. The one
// addition to the plain rule: a boundary crossed with a share truncated to 0
// still advances, as the resampler keeps its walks in step above 4096 pixels.
std::vector<ScaleStep> PlainTable(int n, int m, bool reducing) {
    std::vector<ScaleStep> t(n);
    if (n == 0)
        return t;
    const int full = reducing ? m * 4096 / n : 4096, divisor = reducing ? n : m;
    int acc = 0;
    for (ScaleStep& s : t) {
        const int prev = acc;
        acc += m;
        if (acc > n) {
            s.nWeight = (n - prev) * 4096 / divisor;
            acc -= n;
            s.nNext = acc * 4096 / divisor;
            if (s.nNext == 0)
                s.nNext = -1;
        } else {
            s.nWeight = full;
            s.nNext = acc == n ? -1 : 0;
            if (acc == n)
                acc = 0;
        }
    }
    return t;
}

void PlainScaleUp(const BYTE* src, int sw, int sh, BYTE* dst, int dw, int dh) {
    const std::vector<ScaleStep> cols = PlainTable(dw, sw, false), rows = PlainTable(dh, sh, false);
    const int sstride = (3 * sw + 3) & ~3, dstride = (3 * dw + 3) & ~3;
    const BYTE* A = src;
    size_t ri = 0;
    for (int used = 0; used < sh;) {
        const uint32_t rw = rows[ri].nWeight;
        const int rn = rows[ri++].nNext;
        const BYTE* B = A + sstride;
        BYTE* out = dst;
        size_t ci = 0;
        for (int a = 0; a < sw;) {
            const uint32_t cw = cols[ci].nWeight;
            const int cn = cols[ci++].nNext;
            for (int k = 0; k < 3; ++k) {
                uint32_t sum = A[3 * a + k] * cw * rw;
                if (cn > 0)
                    sum += A[3 * a + 3 + k] * (uint32_t)cn * rw;
                if (rn > 0) {
                    sum += B[3 * a + k] * cw * (uint32_t)rn;
                    if (cn > 0)
                        sum += B[3 * a + 3 + k] * (uint32_t)cn * (uint32_t)rn;
                }
                out[k] = (BYTE)(sum >> 24);
            }
            out += 3;
            if (cn != 0)
                ++a;
        }
        if (rn != 0) {
            A += sstride;
            ++used;
        }
        dst += dstride;
    }
}

void PlainScaleDown(const BYTE* src, int sw, int sh, BYTE* dst, int dw, int dh) {
    const std::vector<ScaleStep> cols = PlainTable(sw, dw, true), rows = PlainTable(sh, dh, true);
    const int sstride = (3 * sw + 3) & ~3, dstride = (3 * dw + 3) & ~3;
    std::vector<uint32_t> cur(3 * dw), nxt(3 * dw);
    size_t ri = 0;
    for (int done = 0; done < dh; src += sstride) {
        const uint32_t rw = rows[ri].nWeight;
        const int rn = rows[ri++].nNext;
        const BYTE* p = src;
        size_t ci = 0;
        for (int c = 0; c < dw; p += 3) {
            const uint32_t cw = cols[ci].nWeight;
            const int cn = cols[ci++].nNext;
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = p[k];
                cur[3 * c + k] += v * rw * cw;
                if (cn > 0)
                    cur[3 * c + 3 + k] += v * rw * (uint32_t)cn;
                if (rn > 0) {
                    nxt[3 * c + k] += v * (uint32_t)rn * cw;
                    if (cn > 0)
                        nxt[3 * c + 3 + k] += v * (uint32_t)rn * (uint32_t)cn;
                }
            }
            if (cn != 0)
                ++c;
        }
        if (rn != 0) {
            for (int i = 0; i < 3 * dw; ++i)
                dst[i] = (BYTE)(cur[i] >> 24);
            std::fill(cur.begin(), cur.end(), 0);
            cur.swap(nxt);
            dst += dstride;
            ++done;
        }
    }
}

// Reads a device bitmap back as rows of the working format.
Image ReadBitmap(HBITMAP hBitmap) {
    BITMAP bm;
    EXPECT_EQ(sizeof(bm), (size_t)GetObjectA(hBitmap, sizeof(bm), &bm));
    Image im((WORD)bm.bmWidth, (WORD)bm.bmHeight, 0);
    BITMAPINFO bi = MakeDib24Header(im.width, im.height);
    CClientDC screen(NULL);
    EXPECT_EQ(bm.bmHeight, GetDIBits(screen, hBitmap, 0, im.height, im.bytes.data(), &bi, DIB_RGB_COLORS));
    return im;
}

DWORD Pattern(LONG x, LONG y) {
    return ((x * 37 + y * 11) & 0xFF) << 16 | ((x * 5 + y * 71) & 0xFF) << 8 | ((x ^ y) * 13 & 0xFF);
}
} // namespace

TEST(ResampleTable, WeightsOfTheWorkedExamples) {
    struct Case {
        WORD n, m;
        bool reducing;
        std::vector<std::pair<INT, INT>> steps;
    } cases[] = {
        {3, 2, true, {{2730, 0}, {1365, 1365}, {2730, -1}}},
        {3, 2, false, {{4096, 0}, {2048, 2048}, {4096, -1}}},
        {10,
         3,
         false,
         {{4096, 0},
          {4096, 0},
          {4096, 0},
          {1365, 2730},
          {4096, 0},
          {4096, 0},
          {2730, 1365},
          {4096, 0},
          {4096, 0},
          {4096, -1}}},
        {4, 4, true, {{4096, -1}, {4096, -1}, {4096, -1}, {4096, -1}}},
        {4, 4, false, {{4096, -1}, {4096, -1}, {4096, -1}, {4096, -1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.n << " and " << c.m << (c.reducing ? " reducing" : " enlarging"));
        const std::vector<ScaleStep> t = BuildScaleTable(c.n, c.m, c.reducing);
        ASSERT_EQ(c.steps.size(), t.size());
        for (size_t i = 0; i < t.size(); ++i) {
            EXPECT_EQ(c.steps[i].first, t[i].nWeight) << "entry " << i;
            EXPECT_EQ(c.steps[i].second, t[i].nNext) << "entry " << i;
        }
    }
}

// Above 4096 pixels a share can truncate to 0 at a crossed boundary (5001 -> 1000
// and 4500 -> 4501 both meet one); the other grid must still advance exactly m times.
TEST(ResampleTable, OtherGridAdvancesExactlyOncePerPixel) {
    struct Case {
        WORD n, m;
        bool reducing;
    } cases[] = {{5001, 1000, true}, {4501, 4500, false}, {65535, 65534, true},
                 {65535, 3, false},  {7, 0, true},        {1000, 333, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " and " << c.m);
        const std::vector<ScaleStep> t = BuildScaleTable(c.n, c.m, c.reducing);
        ASSERT_EQ(c.n, t.size());
        int advances = 0;
        for (const ScaleStep& s : t)
            advances += s.nNext != 0;
        EXPECT_EQ(c.m, advances);
        if (c.m != 0) {
            EXPECT_EQ(-1, t.back().nNext);
        }
    }
    EXPECT_TRUE(BuildScaleTable(2, 3, true).empty());
}

TEST(Resample, WorkedExamples) {
    const Image block = Flat(3, 3, 255);
    Image quarter(2, 2);
    ASSERT_TRUE(Down(block, quarter));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(254, quarter.Pixel(x, y)[k]) << x << "," << y;

    Image row = Flat(3, 1, 255), shorter(2, 1);
    ASSERT_TRUE(Down(row, shorter));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(254, shorter.bytes[i]);

    Image pair(2, 1, 0);
    for (int k = 0; k < 3; ++k)
        pair.Pixel(1, 0)[k] = 200;
    Image three(3, 1);
    ASSERT_TRUE(Up(pair, three));
    const BYTE expected[] = {0, 0, 0, 100, 100, 100, 200, 200, 200, kUntouched, kUntouched, kUntouched};
    EXPECT_EQ(std::vector<BYTE>(expected, expected + 12),
              std::vector<BYTE>(three.bytes.begin(), three.bytes.begin() + 12));
}

TEST(Resample, EqualSizesKeepEveryPixel) {
    std::mt19937 rng(7);
    const Image src = Noise(13, 5, rng);
    Image same(13, 5);
    ASSERT_TRUE(Down(src, same));
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(0, memcmp(src.Pixel(0, y), same.Pixel(0, y), 3 * 13)) << "row " << y;
}

TEST(Resample, WholeFactorEnlargementRepeatsPixels) {
    std::mt19937 rng(11);
    Image src = Noise(5, 3, rng);
    Image big(10, 9);
    ASSERT_TRUE(Up(src, big));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(0, memcmp(src.Pixel(x / 2, y / 3), big.Pixel(x, y), 3)) << x << "," << y;
}

TEST(Resample, WrongDirectionIsRefusedUntouched) {
    const Image src = Flat(4, 4, 9);
    Image wider(6, 3), smaller(3, 3);
    EXPECT_FALSE(Up(src, wider));
    EXPECT_FALSE(Down(src, wider));
    EXPECT_FALSE(Up(src, smaller));
    for (BYTE b : wider.bytes)
        ASSERT_EQ(kUntouched, b);
    for (BYTE b : smaller.bytes)
        ASSERT_EQ(kUntouched, b);
}

TEST(Resample, TargetSizeZeroWritesNothing) {
    const Image src = Flat(5, 4, 9);
    Image none(0, 3), flat(5, 0);
    EXPECT_TRUE(Down(src, none));
    EXPECT_TRUE(Down(src, flat));
    Image up(0, 4);
    EXPECT_TRUE(Up(Image(0, 2), up));
    for (const Image* im : {&none, &flat, &up})
        for (BYTE b : im->bytes)
            ASSERT_EQ(kUntouched, b);
}

// The fast path against the plain steps on random images and sizes, odd widths
// (row padding) included, byte for byte over whole buffers with their padding.
TEST(Resample, FastPathMatchesPlainSteps) {
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return (WORD)std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 300; ++round) {
        const bool reducing = round % 2 == 0;
        const WORD sw = pick(1, 90), sh = pick(1, 40);
        const WORD dw = reducing ? pick(0, sw) : pick(sw, 4 * sw + 3);
        const WORD dh = reducing ? pick(0, sh) : pick(sh, 4 * sh + 3);
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " -> " << dw << "x" << dh);
        const Image src = Noise(sw, sh, rng);
        Image fast(dw, dh), plain(dw, dh);
        if (reducing) {
            ASSERT_TRUE(Down(src, fast));
            PlainScaleDown(src.bytes.data(), sw, sh, plain.bytes.data(), dw, dh);
        } else {
            ASSERT_TRUE(Up(src, fast));
            PlainScaleUp(src.bytes.data(), sw, sh, plain.bytes.data(), dw, dh);
        }
        ASSERT_EQ(plain.bytes, fast.bytes);
    }
}

// Sizes above 4096 where a share truncates to 0, and the factors of a real zoom.
TEST(Resample, FastPathMatchesPlainStepsOnLargeSizes) {
    struct Case {
        WORD sw, sh, dw, dh;
    } cases[] = {{5001, 3, 1000, 2}, {3, 5001, 2, 1000},    {4500, 2, 4501, 3},
                 {2, 4500, 3, 4501}, {1201, 601, 400, 200}, {333, 250, 999, 750}};
    std::mt19937 rng(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
        const Image src = Noise(c.sw, c.sh, rng);
        Image fast(c.dw, c.dh), plain(c.dw, c.dh);
        if (c.dw < c.sw) {
            ASSERT_TRUE(Down(src, fast));
            PlainScaleDown(src.bytes.data(), c.sw, c.sh, plain.bytes.data(), c.dw, c.dh);
        } else {
            ASSERT_TRUE(Up(src, fast));
            PlainScaleUp(src.bytes.data(), c.sw, c.sh, plain.bytes.data(), c.dw, c.dh);
        }
        ASSERT_EQ(plain.bytes, fast.bytes);
    }
}

TEST(ResampleHeader, FieldsOfTheWorkingFormat) {
    const BITMAPINFO bi = MakeDib24Header(5, 3);
    EXPECT_EQ(40u, bi.bmiHeader.biSize);
    EXPECT_EQ(5, bi.bmiHeader.biWidth);
    EXPECT_EQ(3, bi.bmiHeader.biHeight);
    EXPECT_EQ(1, bi.bmiHeader.biPlanes);
    EXPECT_EQ(24, bi.bmiHeader.biBitCount);
    EXPECT_EQ((DWORD)BI_RGB, bi.bmiHeader.biCompression);
    EXPECT_EQ(16u * 3, bi.bmiHeader.biSizeImage);
    EXPECT_EQ(0u, bi.bmiHeader.biClrUsed);
    // 196608 x 65535 bytes do not fit the field: 0 rather than a wrapped size.
    EXPECT_EQ(0u, MakeDib24Header(65535, 65535).bmiHeader.biSizeImage);
    EXPECT_EQ(196608ull * 65535, Dib24ImageBytes(65535, 65535));
}

// Through GDI on a real screen-compatible bitmap: what comes back is what the
// buffer code makes of the bitmap's own pixels.
TEST(ResampleScaleBitmap, RoundTripThroughScreenBitmap) {
    Dib dib(MakeTestDib(37, 23, 24, {}, Pattern));
    CGdiObject<HBITMAP> source(BitmapFromDib(dib.get(), nullptr));
    ASSERT_TRUE(source);
    const Image pixels = ReadBitmap(source);
    struct Case {
        int w, h;
    } cases[] = {{20, 13}, {75, 50}, {37, 23}, {37, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        CGdiObject<HBITMAP> scaled(ScaleBitmap(source, c.w, c.h));
        ASSERT_TRUE(scaled);
        Image got = ReadBitmap(scaled);
        ASSERT_EQ(c.w, got.width);
        ASSERT_EQ(c.h, got.height);
        Image want(c.w, c.h, 0);
        if (c.w > 37 || c.h > 23)
            ASSERT_TRUE(Up(pixels, want));
        else
            ASSERT_TRUE(Down(pixels, want));
        for (int y = 0; y < c.h; ++y)
            ASSERT_EQ(0, memcmp(want.Pixel(0, y), got.Pixel(0, y), 3 * c.w)) << "row " << y;
    }
}

TEST(ResampleScaleBitmap, RefusalsAndFailuresReturnNoBitmap) {
    CGdiObject<HBITMAP> source(CreateCompatibleBitmap(CClientDC(NULL), 10, 10));
    ASSERT_TRUE(source);
    struct Case {
        int w, h;
        DWORD error;
    } cases[] = {
        {20, 5, ERROR_INVALID_PARAMETER},        // wider but lower
        {5, 20, ERROR_INVALID_PARAMETER},        // narrower but higher
        {65536, 65536, ERROR_INVALID_PARAMETER}, // would wrap to 0 x 0
        {65546, 20, ERROR_INVALID_PARAMETER},    // would wrap to 10 x 20
        {-1, 5, ERROR_INVALID_PARAMETER},
        {65535, 65535, ERROR_NOT_ENOUGH_MEMORY}, // 12.9 GB of target rows
        {40000, 20000, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        SetLastError(0);
        EXPECT_EQ(NULL, ScaleBitmap(source, c.w, c.h));
        EXPECT_EQ(c.error, GetLastError());
    }
    SetLastError(0);
    EXPECT_EQ(NULL, ScaleBitmap(NULL, 5, 5));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
}

TEST(ResampleScaleBitmap, TargetSizeZeroGivesTheEmptyBitmap) {
    CGdiObject<HBITMAP> source(CreateCompatibleBitmap(CClientDC(NULL), 10, 10));
    for (const POINT size : {POINT{0, 5}, POINT{4, 0}, POINT{0, 0}}) {
        HBITMAP scaled = ScaleBitmap(source, size.x, size.y);
        EXPECT_TRUE(scaled) << size.x << "x" << size.y;
        DeleteObject(scaled);
    }
}
