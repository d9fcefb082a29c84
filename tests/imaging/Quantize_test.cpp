#include "tests/support/GTest.h"
#include <stdint.h>
#include <random>
#include <vector>
#include "imaging/Quantize.h"

namespace {
// A 24-bit image (blue, green, red) whose rows are padded, as DIB rows are.
struct CImage {
    int width, height;
    size_t stride;
    std::vector<uint8_t> bytes;
    CImage(int w, int h) : width(w), height(h), stride((3 * w + 3) & ~3), bytes(stride * h) {}
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = &bytes[y * stride + 3 * x];
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    const uint8_t* At(int x, int y) const { return &bytes[y * stride + 3 * x]; }
    SPixelRows Rows() const { return {bytes.data(), width, height, stride}; }
};

int Distance(const SPaletteColor& c, const uint8_t* p) {
    const int db = c.blue - p[0], dg = c.green - p[1], dr = c.red - p[2];
    return dr * dr + dg * dg + db * db;
}

// The index of the nearest palette colour by searching them all; the lowest on a tie.
uint8_t BruteForceNearest(const std::vector<SPaletteColor>& palette, const uint8_t* p) {
    size_t best = 0;
    for (size_t i = 1; i < palette.size(); ++i)
        if (Distance(palette[i], p) < Distance(palette[best], p))
            best = i;
    return (uint8_t)best;
}

std::vector<uint8_t> Map(const CImage& image, const std::vector<SPaletteColor>& palette) {
    std::vector<uint8_t> indices((size_t)image.width * image.height);
    MapToPalette(image.Rows(), palette, indices.data(), image.width);
    return indices;
}

bool SameColor(const SPaletteColor& c, const uint8_t* p) {
    return c.blue == p[0] && c.green == p[1] && c.red == p[2];
}
} // namespace

TEST(Quantize, FewColoursRoundTripExactly) {
    // 256 distinct colours scattered over the image, then 2 and 1.
    for (int colours : {256, 2, 1}) {
        // Neighbours of one another, closer than any histogram cell: only keeping
        // the image's own colours gets them all back.
        std::vector<uint32_t> chosen;
        for (uint32_t i = 0; i < (uint32_t)colours; ++i)
            chosen.push_back((i & 15) << 16 | (i >> 4) << 8 | 100);
        CImage image(37, 29);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const uint32_t c = chosen[(x + y * image.width) % colours];
                image.Set(x, y, (uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c);
            }
        const std::vector<SPaletteColor> palette = PaletteFor8Bits(image.Rows());
        EXPECT_EQ((size_t)colours, palette.size());
        const std::vector<uint8_t> indices = Map(image, palette);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                ASSERT_TRUE(SameColor(palette[indices[y * image.width + x]], image.At(x, y)))
                    << colours << " colours, pixel " << x << "," << y;
    }
}

TEST(Quantize, ExactColoursRefuseOneTooMany) {
    CImage image(17, 1);
    for (int x = 0; x < image.width; ++x)
        image.Set(x, 0, (uint8_t)(x * 15), 0, 0);
    std::vector<SPaletteColor> colors;
    EXPECT_TRUE(ExactColors(image.Rows(), 17, colors));
    EXPECT_EQ(17u, colors.size());
    EXPECT_FALSE(ExactColors(image.Rows(), 16, colors));
}

TEST(Quantize, GradientKeepsItsEndColours) {
    // 1024 steps between two colours whose channels change at different rates:
    // several hundred distinct colours, so the adaptive palette has to work.
    const uint8_t from[3] = {10, 200, 30}, to[3] = {240, 20, 180};
    CImage image(1024, 4);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            uint8_t c[3];
            for (int a = 0; a < 3; ++a)
                c[a] = (uint8_t)((from[a] * (1023 - x) + to[a] * x + 511) / 1023);
            image.Set(x, y, c[0], c[1], c[2]);
        }
    std::vector<SPaletteColor> colors;
    ASSERT_FALSE(ExactColors(image.Rows(), 256, colors));
    const std::vector<SPaletteColor> palette = PaletteFor8Bits(image.Rows());
    const std::vector<uint8_t> indices = Map(image, palette);
    for (int y = 0; y < image.height; ++y) {
        EXPECT_TRUE(SameColor(palette[indices[y * image.width]], image.At(0, y)));
        EXPECT_TRUE(SameColor(palette[indices[y * image.width + 1023]], image.At(1023, y)));
    }
    // Between the ends no pixel strays far: a gradient needs no more than a level
    // or two of error per channel with 256 colours.
    for (int x = 0; x < image.width; ++x) {
        const SPaletteColor& c = palette[indices[x]];
        const uint8_t* p = image.At(x, 0);
        EXPECT_LE(Distance(c, p), 3 * 2 * 2) << "pixel " << x;
    }
}

TEST(Quantize, MappingIsTheTrueNearestColour) {
    // Random palettes (with repeated entries, which tie) against random pixels and
    // against pixels of the image they were made for.
    std::mt19937 random(7);
    for (int size : {256, 255, 37, 2, 1}) {
        std::vector<SPaletteColor> palette;
        for (int i = 0; i < size; ++i) {
            const uint32_t c = random();
            palette.push_back({(uint8_t)c, (uint8_t)(c >> 8), (uint8_t)(c >> 16), 0});
        }
        if (size > 2)
            palette[size / 2] = palette[1];
        CImage image(101, 67);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const uint32_t c = random();
                image.Set(x, y, (uint8_t)c, (uint8_t)(c >> 8), (uint8_t)(c >> 16));
            }
        for (const std::vector<SPaletteColor>& p : {palette, AdaptivePalette(image.Rows(), size)}) {
            const std::vector<uint8_t> indices = Map(image, p);
            for (int y = 0; y < image.height; ++y)
                for (int x = 0; x < image.width; ++x)
                    ASSERT_EQ(BruteForceNearest(p, image.At(x, y)), indices[y * image.width + x])
                        << size << " colours, pixel " << x << "," << y;
        }
    }
}

TEST(Quantize, FlatImageGivesOneColour) {
    CImage image(64, 48);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.Set(x, y, 90, 160, 33);
    for (const std::vector<SPaletteColor>& palette :
         {PaletteFor8Bits(image.Rows()), AdaptivePalette(image.Rows(), 256)}) {
        ASSERT_EQ(1u, palette.size());
        EXPECT_TRUE(SameColor(palette[0], image.At(0, 0)));
        for (uint8_t index : Map(image, palette))
            ASSERT_EQ(0, index);
    }
}

TEST(Quantize, AdaptivePaletteBeatsAnEvenSpread) {
    // A smooth photo-like field: the squared error with the adaptive palette must be
    // far below that of a fixed 6x7x6 cube, the kind of table the platform uses.
    CImage image(256, 256);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.Set(x, y, (uint8_t)(x / 2 + 60), (uint8_t)((x + y) / 4 + 80), (uint8_t)(y / 3 + 20));
    std::vector<SPaletteColor> cube;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 7; ++g)
            for (int b = 0; b < 6; ++b)
                cube.push_back({(uint8_t)(b * 51), (uint8_t)(g * 255 / 6), (uint8_t)(r * 51), 0});
    double error[2] = {};
    int which = 0;
    for (const std::vector<SPaletteColor>& palette : {PaletteFor8Bits(image.Rows()), cube}) {
        const std::vector<uint8_t> indices = Map(image, palette);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                error[which] += Distance(palette[indices[y * image.width + x]], image.At(x, y));
        ++which;
    }
    const double pixels = 3.0 * image.width * image.height;
    EXPECT_LT(error[0] / pixels, 10.0) << "adaptive"; // over 38 dB
    EXPECT_GT(error[1] / pixels, 100.0) << "fixed cube";
}
