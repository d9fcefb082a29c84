#include "tests/support/GTest.h"
#include <windows.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include "imaging/GifLzw.h"
#include "imaging/GifWriter.h"
#include "tests/imaging/GifTestSupport.h"

using namespace giftest;

namespace {

// Puts an 8-bit BMP into the exchange file and writes it as a GIF; returns the
// GIF's bytes.
Bytes WriteThroughExchange(const Bytes& bmp, std::string* gifPath = nullptr) {
    OpenExchange();
    exchangeFile.Write(bmp.data(), (UINT)bmp.size());
    std::string path = TempPath("gif");
    EXPECT_EQ(kGifWriteOk, WriteGifFromExchange(path.c_str()));
    if (gifPath)
        *gifPath = path;
    return ReadFileBytes(path);
}

struct Decoded {
    int width = 0, height = 0, colors = 0;
    Bytes indices;
    std::vector<GifColorType> palette;
};

Decoded DecodeWithGiflib(const std::string& dosPath) {
    Decoded d;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(HostPath(dosPath).c_str(), &error);
    if (!gif)
        return d;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1) {
        SavedImage& image = gif->SavedImages[0];
        d.width = image.ImageDesc.Width;
        d.height = image.ImageDesc.Height;
        d.indices.assign(image.RasterBits, image.RasterBits + d.width * d.height);
        ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        d.colors = map->ColorCount;
        d.palette.assign(map->Colors, map->Colors + map->ColorCount);
    }
    DGifCloseFile(gif, &error);
    return d;
}

size_t CodeSizeOffset(int bits) {
    return 13 + 3 * (size_t(1) << bits) + 8 + 10;
}

// The sub-blocks of the image data joined, with the length of each.
Bytes ImageData(const Bytes& gif, int bits, std::vector<int>* lengths) {
    Bytes data;
    size_t at = CodeSizeOffset(bits) + 1;
    while (at < gif.size() && gif[at] != 0) {
        int n = gif[at];
        lengths->push_back(n);
        data.insert(data.end(), gif.begin() + at + 1, gif.begin() + at + 1 + n);
        at += 1 + n;
    }
    return data;
}

} // namespace

// Which palette entries the pixels use decides the table, its size and the indices.
TEST(GifWriter, PacksTheUsedColoursIntoTheSmallestTable) {
    struct Case {
        const char* name;
        Bytes sourceIndices; // the pixels of a 1-row image
        int bits;
        BYTE screenByte;
        int codeSize;
        Bytes expectedIndices;
    };
    Bytes all;
    for (int i = 0; i < 256; ++i)
        all.push_back((BYTE)(255 - i));
    Bytes allPacked;
    for (int i = 0; i < 256; ++i)
        allPacked.push_back((BYTE)(255 - i));
    const Case cases[] = {
        {"single colour", {9, 9, 9}, 1, 0x80, 2, {0, 0, 0}},
        {"indices 3, 7, 200", {200, 3, 7, 3}, 2, 0x91, 2, {2, 0, 1, 0}},
        {"four colours", {4, 1, 2, 3}, 2, 0x91, 2, {3, 0, 1, 2}},
        {"five colours", {0, 1, 2, 3, 255}, 3, 0xA2, 3, {0, 1, 2, 3, 4}},
        {"all 256 colours", all, 8, 0xF7, 8, allPacked},
    };
    std::vector<RGBQUAD> table = DistinctTable(256);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path;
        int width = (int)c.sourceIndices.size();
        Bytes gif = WriteThroughExchange(MakeBmp8(width, 1, table, c.sourceIndices), &path);
        exchangeFile.Close();
        ASSERT_GT(gif.size(), CodeSizeOffset(c.bits));
        EXPECT_EQ(c.screenByte, gif[10]);
        EXPECT_EQ(c.codeSize, gif[CodeSizeOffset(c.bits)]);

        // The table lists the used entries in ascending source order.
        Bytes used(c.sourceIndices);
        std::sort(used.begin(), used.end());
        used.erase(std::unique(used.begin(), used.end()), used.end());
        for (size_t i = 0; i < used.size(); ++i) {
            EXPECT_EQ(table[used[i]].rgbRed, gif[13 + 3 * i]) << "entry " << i;
            EXPECT_EQ(table[used[i]].rgbGreen, gif[14 + 3 * i]) << "entry " << i;
            EXPECT_EQ(table[used[i]].rgbBlue, gif[15 + 3 * i]) << "entry " << i;
        }
        Decoded d = DecodeWithGiflib(path);
        EXPECT_EQ(1 << c.bits, d.colors);
        EXPECT_EQ(c.expectedIndices, d.indices);
    }
}

TEST(GifWriter, LaysOutTheFileByteForByte) {
    Bytes gif = WriteThroughExchange(MakeBmp8(3, 2, DistinctTable(2), {0, 1, 0, 1, 1, 1}));
    const Bytes expectedHead = {
        'G',  'I',  'F',  '8',  '9',  'a',  3,    0,    2, 0,    0x80, 0, 0, // header, screen
        3,    255,  0,    10,   254,  13,                                    // table
        0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00,                      // no transparent colour
        0x2C, 0,    0,    0,    0,    3,    0,    2,    0, 0x00,             // image descriptor
        2,                                                                   // code size
    };
    ASSERT_GT(gif.size(), expectedHead.size() + 2);
    EXPECT_EQ(expectedHead, Bytes(gif.begin(), gif.begin() + expectedHead.size()));
    EXPECT_EQ(0x00, gif[gif.size() - 2]);
    EXPECT_EQ(0x3B, gif[gif.size() - 1]);
}

// Enough distinct strings to assign all 4096 codes: the writer must start a new
// table with the clear code and never widen past 12 bits; its data sub-blocks are
// 254 bytes but the last.
TEST(GifWriter, RestartsAFullCodeTableAndKeepsSubBlocksAt254Bytes) {
    const int width = 320, height = 240;
    Bytes pixels((size_t)width * height);
    srand(7);
    for (BYTE& p : pixels)
        p = (BYTE)(rand() & 0xFF);
    std::string path;
    Bytes gif = WriteThroughExchange(MakeBmp8(width, height, DistinctTable(256), pixels), &path);
    exchangeFile.Close();

    std::vector<int> lengths;
    Bytes data = ImageData(gif, 8, &lengths);
    ASSERT_GT(lengths.size(), 2u);
    for (size_t i = 0; i + 1 < lengths.size(); ++i)
        ASSERT_EQ(254, lengths[i]) << "sub-block " << i;
    EXPECT_GT(lengths.back(), 0);
    EXPECT_LE(lengths.back(), 254);

    // Follow the codes the way a decoder widens them.
    const int clear = 256, end = 257;
    int width_ = 9, next = clear + 2, clearsWhenFull = 0, maxWidth = 0;
    bool afterClear = false, sawEnd = false;
    size_t bit = 0;
    while (bit + width_ <= data.size() * 8) {
        int code = 0;
        for (int j = 0; j < width_; ++j, ++bit)
            if (data[bit / 8] & (1 << (bit % 8)))
                code |= 1 << j;
        maxWidth = std::max(maxWidth, width_);
        if (code == clear) {
            if (next == kGifMaxCodes)
                ++clearsWhenFull;
            width_ = 9;
            next = clear + 2;
            afterClear = true;
            continue;
        }
        if (code == end) {
            sawEnd = true;
            break;
        }
        ASSERT_LE(code, next) << "at bit " << bit;
        if (afterClear) {
            afterClear = false;
            continue;
        }
        if (next < kGifMaxCodes && ++next == (1 << width_) && width_ < kGifMaxBits)
            ++width_;
    }
    EXPECT_TRUE(sawEnd);
    EXPECT_GE(clearsWhenFull, 1);
    EXPECT_EQ(kGifMaxBits, maxWidth);
    EXPECT_LT(data.size() * 8 - bit, 8u); // only the padding of the last byte is left

    Decoded d = DecodeWithGiflib(path);
    EXPECT_EQ(pixels, d.indices);
}

// Round trips through giflib: every pixel keeps its colour and its place, rows in
// top-to-bottom order, whatever the row padding.
TEST(GifWriter, RoundTripsThroughGiflib) {
    struct Case {
        int width, height, colours;
    };
    const Case cases[] = {{1, 1, 1}, {2, 2, 2}, {3, 5, 3}, {7, 3, 16}, {257, 3, 200}, {64, 64, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << ", " << c.colours);
        std::vector<RGBQUAD> table = DistinctTable(256);
        Bytes pixels((size_t)c.width * c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                pixels[(size_t)y * c.width + x] = (BYTE)((x * 3 + y * 5) % c.colours);
        std::string path;
        WriteThroughExchange(MakeBmp8(c.width, c.height, table, pixels), &path);
        exchangeFile.Close();
        Decoded d = DecodeWithGiflib(path);
        ASSERT_EQ(c.width, d.width);
        ASSERT_EQ(c.height, d.height);
        for (size_t i = 0; i < pixels.size(); ++i) {
            const GifColorType& got = d.palette[d.indices[i]];
            const RGBQUAD& want = table[pixels[i]];
            ASSERT_TRUE(got.Red == want.rgbRed && got.Green == want.rgbGreen && got.Blue == want.rgbBlue)
                << "pixel " << i;
        }
    }
}

// A .bmp copied into the exchange file may come from elsewhere: a longer
// information header puts the table further on, and top-down rows are stored
// first row first.
TEST(GifWriter, ReadsOtherBmpLayoutsCorrectly) {
    std::vector<RGBQUAD> table = DistinctTable(4);
    const Bytes pixels = {0, 1, 2, 3, 3, 2};
    Bytes bmp = MakeBmp8(3, 2, table, pixels);

    Bytes longHeader = bmp;
    longHeader.insert(longHeader.begin() + 54, 84, 0xEE); // a 124-byte header
    PutLe(longHeader, 14, 124, 4);
    PutLe(longHeader, 10, GetLe(bmp, 10, 4) + 84, 4);

    Bytes topDown = bmp;
    PutLe(topDown, 22, (DWORD)-2, 4);
    size_t off = GetLe(bmp, 10, 4);
    std::swap_ranges(topDown.begin() + off, topDown.begin() + off + 4, topDown.begin() + off + 4);

    for (const Bytes* source : {&longHeader, &topDown}) {
        std::string path;
        WriteThroughExchange(*source, &path);
        exchangeFile.Close();
        Decoded d = DecodeWithGiflib(path);
        ASSERT_EQ(6u, d.indices.size());
        for (size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(table[pixels[i]].rgbRed, d.palette[d.indices[i]].Red) << "pixel " << i;
            EXPECT_EQ(table[pixels[i]].rgbBlue, d.palette[d.indices[i]].Blue) << "pixel " << i;
        }
    }
}

// Every failure returns kGifWriteFailed and shows nothing (the caller tells the
// user); the exchange file stays as it was, and so does the file at the path when
// the failure comes before the writer creates it.
TEST(GifWriter, FailuresReturnAndLeaveTheFilesAlone) {
    Bytes good = MakeBmp8(4, 3, DistinctTable(4), Bytes(12, 1));
    Bytes deep = good;
    PutLe(deep, 28, 24, 2);
    Bytes notBm = good;
    notBm[0] = 'X';
    Bytes shortRows(good.begin(), good.end() - 5);
    Bytes compressed = good;
    PutLe(compressed, 30, BI_RLE8, 4);
    struct Case {
        const char* name;
        Bytes exchange;
        const char* gifPath; // null: a temporary file
    };
    const Case cases[] = {
        {"empty exchange file", {}, nullptr},
        {"24-bit image", deep, nullptr},
        {"no BM signature", notBm, nullptr},
        {"rows cut short", shortRows, nullptr},
        {"run-length rows", compressed, nullptr},
        {"output cannot be created", good, "C:\\no\\such\\folder\\out.gif"},
    };
    const Bytes before = {'o', 'l', 'd'};
    BoxWatch boxes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenExchange();
        if (!c.exchange.empty())
            exchangeFile.Write(c.exchange.data(), (UINT)c.exchange.size());
        std::string gif = c.gifPath ? c.gifPath : TempPath("gif");
        if (!c.gifPath)
            WriteFileBytes(gif, before);
        EXPECT_EQ(kGifWriteFailed, WriteGifFromExchange(gif.c_str()));
        EXPECT_EQ(c.exchange, ExchangeBytes());
        exchangeFile.Close();
        if (c.gifPath)
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(gif.c_str()));
        else
            EXPECT_EQ(before, ReadFileBytes(gif));
    }
    EXPECT_EQ(0, boxes.Count()) << boxes.Text();

    // The writer is whole again for the next image.
    EXPECT_EQ(Bytes(12, 0), DecodeWithGiflib([&] {
                                std::string path;
                                WriteThroughExchange(good, &path);
                                exchangeFile.Close();
                                return path;
                            }())
                                .indices);
}

// A disk that fills up while the GIF is written: failure, and no half-written file
// is left. A small tmpfs is the full disk (root only).
TEST(GifWriter, AFullDiskLeavesNoFileBehind) {
    char host[MAX_PATH];
    snprintf(host, sizeof host, "/tmp/kestrel-gif-full-%lu", (unsigned long)GetCurrentProcessId());
    std::string mount = std::string("mkdir -p ") + host + " && mount -t tmpfs -o size=64k tmpfs " + host;
    if (system((mount + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    Bytes noise(400 * 400);
    uint32_t state = 12345;
    for (BYTE& b : noise) {
        state = state * 1103515245u + 12345u;
        b = (BYTE)(state >> 24); // about a byte of GIF per pixel: far more than fits
    }
    OpenExchange();
    Bytes bmp = MakeBmp8(400, 400, DistinctTable(256), noise);
    exchangeFile.Write(bmp.data(), (UINT)bmp.size());
    std::string gif = std::string("Z:") + host + "\\full.gif";
    for (char& c : gif)
        if (c == '/')
            c = '\\';
    BoxWatch boxes;
    EXPECT_EQ(kGifWriteFailed, WriteGifFromExchange(gif.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(gif.c_str()));
    EXPECT_EQ(bmp, ExchangeBytes());
    EXPECT_EQ(0, boxes.Count());
    exchangeFile.Close();
    system((std::string("umount -l ") + host + " && rmdir " + host).c_str());
}
