#include "tests/support/GTest.h"
#include <windows.h>
#include <cstdio>
#include "imaging/GifReader.h"
#include "tests/imaging/GifTestSupport.h"

using namespace giftest;

namespace {

// The BMP the reader left in the exchange file.
struct Bmp {
    Bytes b;
    DWORD Field(size_t at, int size) const { return GetLe(b, at, size); }
    int Width() const { return (int)Field(18, 4); }
    int Height() const { return (int)Field(22, 4); }
    int Bits() const { return (int)Field(28, 2); }
    DWORD Stride() const { return ((Width() * Bits() + 31) / 32) * 4; }
    int Index(int x, int y) const {
        size_t row = Field(10, 4) + Stride() * (Height() - 1 - y);
        BYTE byte = b[row + x * Bits() / 8];
        if (Bits() == 8)
            return byte;
        if (Bits() == 4)
            return x % 2 ? byte & 0x0F : byte >> 4;
        return (byte >> (7 - x % 8)) & 1;
    }
    bool ColourIs(int i, const GifColorType& c) const {
        return b[54 + 4 * i] == c.Blue && b[55 + 4 * i] == c.Green && b[56 + 4 * i] == c.Red &&
               b[57 + 4 * i] == 0;
    }
};

Bmp ReadIntoExchange(const std::string& gifPath, int n = 1) {
    OpenExchange();
    EXPECT_EQ(0, ReadGifToExchange(gifPath.c_str(), n));
    Bmp bmp{ExchangeBytes()};
    exchangeFile.Close();
    return bmp;
}

Bytes Pattern(int width, int height, int colours, int seed = 0) {
    Bytes pixels((size_t)width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[(size_t)y * width + x] = (BYTE)((x * 3 + y * 5 + seed) % colours);
    return pixels;
}

void ExpectPixels(const Bmp& bmp, const GifFrame& frame) {
    ASSERT_EQ(frame.width, bmp.Width());
    ASSERT_EQ(frame.height, bmp.Height());
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            ASSERT_EQ(frame.pixels[(size_t)y * frame.width + x], bmp.Index(x, y))
                << "pixel " << x << "," << y;
}

} // namespace

// The BMP's depth and palette follow the size of the GIF's colour table.
TEST(GifReader, ChoosesTheBmpFormFromTheTableSize) {
    struct Case {
        int colours, bits, entries;
    };
    const Case cases[] = {{2, 1, 2}, {4, 4, 16}, {8, 4, 16}, {16, 4, 16}, {32, 8, 256}, {256, 8, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.colours << " colours");
        GifFrame frame{37, 5, Pattern(37, 5, c.colours)};
        std::string path = TempPath("gif");
        MakeGifWithGiflib(path, 37, 5, GifColors(c.colours), {frame});
        Bmp bmp = ReadIntoExchange(path);
        ASSERT_GE(bmp.b.size(), 54u);
        EXPECT_EQ('B', bmp.b[0]);
        EXPECT_EQ('M', bmp.b[1]);
        EXPECT_EQ(c.bits, bmp.Bits());
        EXPECT_EQ(40u, bmp.Field(14, 4));
        EXPECT_EQ(1u, bmp.Field(26, 2));
        EXPECT_EQ(0u, bmp.Field(30, 4));
        EXPECT_EQ((DWORD)c.entries, bmp.Field(46, 4));
        EXPECT_EQ((DWORD)c.entries, bmp.Field(50, 4));
        DWORD offBits = 54 + 4 * c.entries;
        EXPECT_EQ(offBits, bmp.Field(10, 4));
        EXPECT_EQ(bmp.Stride() * 5, bmp.Field(34, 4));
        EXPECT_EQ(offBits + bmp.Stride() * 5, bmp.Field(2, 4));
        EXPECT_EQ(bmp.Field(2, 4), bmp.b.size());
        std::vector<GifColorType> colours = GifColors(c.colours);
        for (int i = 0; i < c.colours; ++i)
            EXPECT_TRUE(bmp.ColourIs(i, colours[i])) << "entry " << i;
        ExpectPixels(bmp, frame);
    }
}

// Interlaced rows come in four passes and must all land in their places.
TEST(GifReader, PlacesInterlacedRows) {
    for (int height : {1, 2, 3, 5, 8, 9, 17}) {
        SCOPED_TRACE(testing::Message() << "height " << height);
        GifFrame frame{6, height, Bytes(), {}, true};
        for (int y = 0; y < height; ++y)
            frame.pixels.insert(frame.pixels.end(), 6, (BYTE)(y % 16));
        std::string path = TempPath("gif");
        MakeGifWithGiflib(path, 6, height, GifColors(16), {frame});
        ExpectPixels(ReadIntoExchange(path), frame);
    }
}

// The wanted image of several, with its own table or the global one; the others
// are decoded and dropped, and the file is read to its trailer.
TEST(GifReader, PicksTheWantedImageAndReadsToTheTrailer) {
    std::vector<GifColorType> local = GifColors(16);
    for (GifColorType& c : local)
        c.Red ^= 0x55;
    std::vector<GifFrame> frames = {
        {9, 4, Pattern(9, 4, 16, 0), local},
        {9, 4, Pattern(9, 4, 4, 1)},
        {5, 2, Pattern(5, 2, 4, 2), local},
    };
    std::string path = TempPath("gif");
    MakeGifWithGiflib(path, 9, 4, GifColors(4), frames);

    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(testing::Message() << "image " << n);
        Bmp bmp = ReadIntoExchange(path, n);
        ExpectPixels(bmp, frames[n - 1]);
        const std::vector<GifColorType>& table = frames[n - 1].local.empty() ? GifColors(4) : local;
        for (size_t i = 0; i < table.size(); ++i)
            EXPECT_TRUE(bmp.ColourIs((int)i, table[i])) << "entry " << i;
    }

    FILE* stream = HostFopen(path.c_str(), "rb");
    ASSERT_TRUE(stream != nullptr);
    OpenExchange();
    ReadGif(stream, 1);
    EXPECT_EQ(EOF, fgetc(stream));
    fclose(stream);
    exchangeFile.Close();
}

// Transparency is not ours to apply: the transparent index keeps its colour.
TEST(GifReader, KeepsTheColourOfTheTransparentIndex) {
    GifFrame frame{4, 4, Pattern(4, 4, 4)};
    std::string path = TempPath("gif");
    MakeGifWithGiflib(path, 4, 4, GifColors(4), {frame}, 1);
    Bmp bmp = ReadIntoExchange(path);
    ExpectPixels(bmp, frame);
    EXPECT_TRUE(bmp.ColourIs(1, GifColors(4)[1]));
}

// Unusual but readable files.
TEST(GifReader, ReadsOddlyBuiltFiles) {
    GifFrame frame{5, 4, Pattern(5, 4, 4)};
    std::string plain = TempPath("gif");
    MakeGifWithGiflib(plain, 2, 2, GifColors(4), {frame}); // image larger than the screen
    ExpectPixels(ReadIntoExchange(plain), frame);

    Bytes bytes = ReadFileBytes(plain);
    size_t image = 13 + 3 * 4;
    ASSERT_EQ(0x2C, bytes[image]);

    // A control extension whose first sub-block is already the terminator.
    Bytes emptyControl = bytes;
    emptyControl.insert(emptyControl.begin() + image, {0x21, 0xF9, 0x00});
    std::string path = TempPath("gif");
    WriteFileBytes(path, emptyControl);
    ExpectPixels(ReadIntoExchange(path), frame);

    // Image data for more rows than the descriptor says, then a second image: the
    // surplus is skipped and the second image is found.
    GifFrame second{3, 2, Pattern(3, 2, 4, 1)};
    std::string two = TempPath("gif");
    MakeGifWithGiflib(two, 5, 4, GifColors(4), {frame, second});
    Bytes surplus = ReadFileBytes(two);
    PutLe(surplus, image + 7, 2, 2); // the first image claims 2 of its 4 rows
    WriteFileBytes(two, surplus);
    ExpectPixels(ReadIntoExchange(two, 2), second);

    // Exactly the pixels, ending on a byte boundary, without an end code.
    Bytes noEndCode = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 1, 0, 0x81, 0, 0};
    for (const GifColorType& c : GifColors(4))
        noEndCode.insert(noEndCode.end(), {c.Red, c.Green, c.Blue});
    noEndCode.insert(noEndCode.end(), {0x2C, 0, 0, 0, 0, 4, 0, 1, 0, 0, 2, 2, 0x44, 0x34, 0, 0x3B});
    path = TempPath("gif");
    WriteFileBytes(path, noEndCode);
    ExpectPixels(ReadIntoExchange(path), GifFrame{4, 1, {0, 1, 2, 3}});
}

TEST(GifReader, ReportsAFileThatCannotBeOpened) {
    OpenExchange();
    EXPECT_EQ(1, ReadGifToExchange("C:\\no\\such\\file.gif", 1));
    EXPECT_EQ(0u, exchangeFile.GetLength());
    exchangeFile.Close();
}

// Every file in tests/data/bad/ is damaged: the reader returns kGifReadFailed with
// the exchange file empty, and shows nothing; its caller tells the user. Files named
// no_image_* are sound but hold no image: kGifReadNoImage.
TEST(GifReader, DamagedFilesReturnAFailure) {
    std::string folder = std::string("Z:") + KESTREL_SOURCE_DIR + "/tests/data/bad/";
    for (char& c : folder)
        if (c == '/')
            c = '\\';
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*.gif").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    std::vector<std::string> names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(find, &found));
    FindClose(find);
    EXPECT_GE(names.size(), 20u);

    BoxWatch boxes;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        OpenExchange();
        int status = ReadGifToExchange((folder + name).c_str(), 1);
        EXPECT_EQ(name.rfind("no_image_", 0) == 0 ? kGifReadNoImage : kGifReadFailed, status);
        EXPECT_EQ(0u, exchangeFile.GetLength());
        exchangeFile.Close();
    }
    EXPECT_EQ(0, boxes.Count()) << boxes.Text();

    // The reader is whole again for the next file.
    GifFrame frame{7, 3, Pattern(7, 3, 4)};
    std::string path = TempPath("gif");
    MakeGifWithGiflib(path, 7, 3, GifColors(4), {frame});
    ExpectPixels(ReadIntoExchange(path), frame);
}

// A failure after the BMP has been started still leaves the exchange file empty.
TEST(GifReader, EmptiesAHalfWrittenExchangeFile) {
    GifFrame frame{40, 30, Pattern(40, 30, 16)};
    std::string path = TempPath("gif");
    MakeGifWithGiflib(path, 40, 30, GifColors(16), {frame});
    Bytes bytes = ReadFileBytes(path);
    bytes.resize(bytes.size() - 20); // cut inside the image data
    WriteFileBytes(path, bytes);
    OpenExchange();
    EXPECT_EQ(kGifReadFailed, ReadGifToExchange(path.c_str(), 1));
    EXPECT_EQ(0u, exchangeFile.GetLength());
    exchangeFile.Close();
}
