#include "tests/support/GTest.h"
#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "imaging/Exchange.h"
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "tests/imaging/DibTestSupport.h"

namespace {
struct DibFree {
    void operator()(BITMAPINFOHEADER* p) const { FreeDib(p); }
};
typedef std::unique_ptr<BITMAPINFOHEADER, DibFree> Dib;

DWORD U32(const std::vector<BYTE>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((DWORD)b[at + 3] << 24);
}
void PutU32(std::vector<BYTE>& b, size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = (BYTE)(v >> (8 * i));
}
void PutU16(std::vector<BYTE>& b, size_t at, WORD v) {
    b[at] = (BYTE)v;
    b[at + 1] = (BYTE)(v >> 8);
}

DWORD Pattern(LONG x, LONG y) {
    return ((x * 29 + y * 3) & 0xFF) << 16 | ((y * 53) & 0xFF) << 8 | ((x * 7 + y) & 0xFF);
}

std::vector<RGBQUAD> Palette(int n) {
    std::vector<RGBQUAD> t;
    for (int i = 0; i < n; ++i)
        t.push_back(Rgb((BYTE)(i * 7 + 1), (BYTE)(255 - i), (BYTE)(i * 31 + 9)));
    return t;
}

// A DIB of the given depth whose pixels use every colour of its table.
LPBITMAPINFOHEADER PatternDib(LONG w, LONG h, WORD bits) {
    if (bits == 24)
        return MakeTestDib(w, h, 24, {}, Pattern);
    const int n = 1 << bits;
    return MakeTestDib(w, h, bits, Palette(n), [n](LONG x, LONG y) { return (DWORD)((x * 5 + y * 3) % n); });
}

// A BMP file built by hand: header size, depth, table entries written, and what
// goes where, for the reader cases the writers never produce.
std::vector<BYTE> HandMadeBmp(DWORD headerSize, LONG w, LONG h, WORD bits, DWORD clrUsed, DWORD tableEntries,
                              DWORD gap = 0) {
    const DWORD tableBytes = tableEntries * 4;
    const DWORD offBits = 14 + headerSize + tableBytes + gap;
    const DWORD image = DibRowBytes(w, bits) * (h < 0 ? -h : h);
    std::vector<BYTE> b(offBits + image, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b, 2, (DWORD)b.size());
    PutU32(b, 10, offBits);
    PutU32(b, 14, headerSize);
    PutU32(b, 18, (DWORD)w);
    PutU32(b, 22, (DWORD)h);
    PutU16(b, 26, 1);
    PutU16(b, 28, bits);
    PutU32(b, 46, clrUsed);
    for (DWORD i = 0; i < tableBytes; ++i)
        b[14 + headerSize + i] = (BYTE)(0x40 + i);
    for (DWORD i = 0; i < image; ++i)
        b[offBits + i] = (BYTE)(i * 7 + 1);
    return b;
}

// Each test gets its own exchange file, open exclusive for reading and writing
// as the program keeps it.
class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_file.hostPath.empty());
        ASSERT_TRUE(OpenExchangeFileAt(m_file.windowsPath.c_str()));
    }
    void TearDown() override { exchangeFile.Close(); }

    // The exchange file holds exactly these bytes, positioned at its start.
    void Load(const std::vector<BYTE>& bytes) {
        exchangeFile.SetLength(0);
        exchangeFile.SeekToBegin();
        if (!bytes.empty())
            exchangeFile.Write(bytes.data(), (UINT)bytes.size());
        exchangeFile.SeekToBegin();
    }
    std::vector<BYTE> Contents() {
        std::vector<BYTE> bytes((size_t)exchangeFile.GetLength());
        exchangeFile.SeekToBegin();
        if (!bytes.empty())
            exchangeFile.Read(bytes.data(), (UINT)bytes.size());
        return bytes;
    }
    Dib ReadBack(const std::vector<BYTE>& bytes) {
        Load(bytes);
        return Dib(ReadBmpFromExchange());
    }
    void ExpectSamePixels(const BITMAPINFOHEADER* expected, const BITMAPINFOHEADER* actual) {
        ASSERT_EQ(expected->biWidth, actual->biWidth);
        ASSERT_EQ(expected->biHeight, actual->biHeight);
        for (LONG y = 0; y < expected->biHeight; ++y)
            for (LONG x = 0; x < expected->biWidth; ++x)
                ASSERT_EQ(DibPixelColor(expected, x, y), DibPixelColor(actual, x, y)) << x << "," << y;
    }

    TempFile m_file{"kstmp-bmp-test.bmp"};
    TempFile m_target{"kestrel-bmp-target.bmp"};
};

typedef ExchangeTest WriteBmp;
typedef ExchangeTest ReadBmp;
typedef ExchangeTest BmpInterop;

// Reads a host command's output as rows of RGB bytes, top row first.
std::string HostRgb(const std::string& command) {
    return RunHost(command + " 2>/dev/null");
}

// Where two RGB strings first differ, for a readable failure; "same" when equal.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
    if (expected == actual)
        return "same";
    size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i])
        ++i;
    return "sizes " + std::to_string(expected.size()) + "/" + std::to_string(actual.size()) + ", pixel " +
           std::to_string(i / 3);
}

std::string ExpectedRgb(const BITMAPINFOHEADER* dib) {
    std::string rgb;
    for (LONG y = 0; y < dib->biHeight; ++y)
        for (LONG x = 0; x < dib->biWidth; ++x) {
            const DWORD c = DibPixelColor(dib, x, y);
            rgb += (char)(c >> 16);
            rgb += (char)(c >> 8);
            rgb += (char)c;
        }
    return rgb;
}
} // namespace

TEST_F(WriteBmp, FileLayouts) {
    struct Case {
        LONG w, h;
        WORD bits;
        DWORD stride, imageBytes, offBits, size;
    } cases[] = {{3, 2, 24, 12, 24, 54, 78}, {5, 1, 8, 8, 8, 1078, 1086}, {33, 2, 1, 8, 16, 62, 78}};
    for (const Case& c : cases) {
        Dib dib(PatternDib(c.w, c.h, c.bits));
        ASSERT_EQ(0u, dib->biSizeImage);
        ASSERT_EQ(kBmpOk, WriteBmpFile(dib.get(), m_target.windowsPath.c_str()));
        EXPECT_EQ(c.imageBytes, dib->biSizeImage) << "the write sets biSizeImage";
        EXPECT_EQ(c.stride, DibRowBytes(c.w, c.bits));

        const std::vector<BYTE> file = ReadWholeFile(m_target.windowsPath);
        ASSERT_EQ(c.size, file.size()) << c.bits << " bits";
        EXPECT_EQ('B', file[0]);
        EXPECT_EQ('M', file[1]);
        EXPECT_EQ(c.size, U32(file, 2));
        EXPECT_EQ(0u, U32(file, 6)) << "reserved words";
        EXPECT_EQ(c.offBits, U32(file, 10));
        EXPECT_EQ(0, memcmp(file.data() + 14, dib.get(), c.size - 14)) << "the DIB as it lies in memory";

        // The exchange writer puts the same bytes at the file's current position.
        Load({});
        ASSERT_EQ(kBmpOk, WriteBmpToExchange(dib.get()));
        EXPECT_EQ(file, Contents());
    }
}

TEST_F(WriteBmp, RunLengthDibKeepsItsOwnImageSize) {
    // An 8-bit RLE DIB of 4 x 2 pixels: two runs of four, end of line, end of bitmap.
    const BYTE rle[] = {4, 1, 0, 0, 4, 2, 0, 1};
    std::vector<BYTE> block(40 + 1024 + sizeof(rle), 0);
    BITMAPINFOHEADER* bi = reinterpret_cast<BITMAPINFOHEADER*>(block.data());
    bi->biSize = 40;
    bi->biWidth = 4;
    bi->biHeight = 2;
    bi->biPlanes = 1;
    bi->biBitCount = 8;
    bi->biCompression = BI_RLE8;
    bi->biSizeImage = sizeof(rle);
    memcpy(block.data() + 1064, rle, sizeof(rle));
    ASSERT_EQ(kBmpOk, WriteBmpFile(bi, m_target.windowsPath.c_str()));
    const std::vector<BYTE> file = ReadWholeFile(m_target.windowsPath);
    ASSERT_EQ(14 + block.size(), file.size());
    EXPECT_EQ(sizeof(rle), bi->biSizeImage);
    EXPECT_EQ(0, memcmp(file.data() + 14, block.data(), block.size()));
}

TEST_F(WriteBmp, StatusAndWhatIsLeft) {
    Dib dib(PatternDib(4, 4, 8));
    EXPECT_EQ(kBmpNoDib, WriteBmpFile(nullptr, m_target.windowsPath.c_str()));
    EXPECT_EQ(kBmpNoDib, WriteBmpToExchange(nullptr));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_target.windowsPath.c_str())) << "nothing created";

    const std::string unreachable = m_target.windowsPath + "-missing-folder\\x.bmp";
    EXPECT_EQ(kBmpCannotWrite, WriteBmpFile(dib.get(), unreachable.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(unreachable.c_str()));

    // A DIB with a core header is not written: the file is created empty, and the
    // exchange file gets nothing.
    BITMAPCOREHEADER core = {sizeof(BITMAPCOREHEADER), 4, 4, 1, 8};
    TempFile target("kestrel-core-header.bmp");
    EXPECT_EQ(kBmpOk, WriteBmpFile(reinterpret_cast<LPBITMAPINFOHEADER>(&core), target.windowsPath.c_str()));
    EXPECT_EQ(0u, ReadWholeFile(target.windowsPath).size());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(target.windowsPath.c_str()));
    Load({});
    EXPECT_EQ(kBmpOk, WriteBmpToExchange(reinterpret_cast<LPBITMAPINFOHEADER>(&core)));
    EXPECT_EQ(0u, exchangeFile.GetLength());
}

TEST_F(ReadBmp, RoundTripOfEachDepth) {
    for (WORD bits : {1, 4, 8, 24}) {
        Dib dib(PatternDib(13, 6, bits));
        Load({});
        ASSERT_EQ(kBmpOk, WriteBmpToExchange(dib.get()));
        exchangeFile.SeekToBegin();
        Dib back(ReadBmpFromExchange());
        ASSERT_TRUE(back) << bits;
        EXPECT_EQ(40u, back->biSize);
        EXPECT_EQ(bits, back->biBitCount);
        EXPECT_EQ(bits == 24 ? 0u : 1u << bits, back->biClrUsed) << "an unset count is filled in";
        ExpectSamePixels(dib.get(), back.get());
    }
}

TEST_F(ReadBmp, ThirtyTwoBitsTakeOneColourAndPixelsFromOffBits) {
    std::vector<BYTE> bmp = HandMadeBmp(40, 3, 2, 32, 0, 1, 20);
    Dib dib(ReadBack(bmp));
    ASSERT_TRUE(dib);
    EXPECT_EQ(1u, dib->biClrUsed);
    EXPECT_EQ(4, DibColorTableBytes(dib.get()));
    EXPECT_EQ(0, memcmp(reinterpret_cast<BYTE*>(dib.get()) + 40, bmp.data() + 54, 4))
        << "the bytes after the header";
    const DWORD offBits = U32(bmp, 10);
    EXPECT_EQ(0, memcmp(DibPixels(dib.get()), bmp.data() + offBits, 24));
}

TEST_F(ReadBmp, LongerHeadersTakeTheTableFromWhereItStarts) {
    for (DWORD headerSize : {52u, 56u, 108u, 124u}) {
        std::vector<BYTE> bmp = HandMadeBmp(headerSize, 5, 3, 8, 3, 3);
        Dib dib(ReadBack(bmp));
        ASSERT_TRUE(dib) << headerSize;
        EXPECT_EQ(40u, dib->biSize) << "every DIB of ours carries the 40-byte header";
        EXPECT_EQ(3u, dib->biClrUsed);
        EXPECT_EQ(0, memcmp(reinterpret_cast<BYTE*>(dib.get()) + 40, bmp.data() + 14 + headerSize, 12));
        EXPECT_EQ(0, memcmp(DibPixels(dib.get()), bmp.data() + U32(bmp, 10), 24));
    }
}

TEST_F(ReadBmp, TopDownRowsComeOutBottomUp) {
    std::vector<BYTE> bmp = HandMadeBmp(40, 2, -3, 24, 0, 0);
    Dib dib(ReadBack(bmp));
    ASSERT_TRUE(dib);
    EXPECT_EQ(3, dib->biHeight);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(0, memcmp(DibPixels(dib.get()) + 8 * (2 - row), bmp.data() + 54 + 8 * row, 8)) << row;
}

TEST_F(ReadBmp, RejectedHeaders) {
    std::vector<BYTE> notBm = HandMadeBmp(40, 2, 2, 24, 0, 0);
    notBm[0] = 'M';
    notBm[1] = 'B';
    std::vector<BYTE> core(14 + 12 + 6 + 4, 0);
    core[0] = 'B';
    core[1] = 'M';
    PutU32(core, 14, 12);
    PutU16(core, 18, 2);
    PutU16(core, 20, 2);
    PutU16(core, 22, 1);
    PutU16(core, 24, 1);
    for (const std::vector<BYTE>& bmp : {notBm, core, std::vector<BYTE>{'B', 'M'}, std::vector<BYTE>{}})
        EXPECT_FALSE(ReadBack(bmp));
}

// Every file in tests/data/bad is a BMP broken in the way its name says; each gives none.
TEST_F(ReadBmp, BrokenFilesGiveNone) {
    CFileFind find;
    const std::string folder = std::string("Z:") + KESTREL_SOURCE_DIR + "/tests/data/bad/";
    int files = 0;
    for (BOOL more = find.FindFile((folder + "*.bmp").c_str()); more;) {
        more = find.FindNextFile();
        const std::string name = find.GetFileName();
        Dib dib(ReadBack(ReadWholeFile(folder + name)));
        EXPECT_FALSE(dib) << name;
        ++files;
    }
    EXPECT_GE(files, 10);
}

TEST_F(BmpInterop, ReferenceDecodersSeeOurPixels) {
    for (WORD bits : {1, 4, 8, 24}) {
        Dib dib(PatternDib(29, 11, bits));
        ASSERT_EQ(kBmpOk, WriteBmpFile(dib.get(), m_target.windowsPath.c_str()));
        const std::string expected = ExpectedRgb(dib.get());
        const std::string magick = HostRgb("/usr/bin/convert '" + m_target.hostPath + "' -depth 8 rgb:-");
        const std::string pillow =
            HostRgb("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                    "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" +
                    m_target.hostPath + "'");
        EXPECT_EQ("same", FirstDifference(expected, magick)) << "ImageMagick, " << bits << " bits";
        EXPECT_EQ("same", FirstDifference(expected, pillow)) << "Pillow, " << bits << " bits";
    }
}

TEST_F(BmpInterop, ImageMagickFilesReadBackHere) {
    // ImageMagick writes 108- and 124-byte headers unless asked for BMP3, and
    // run-length rows for 8-bit palettes unless asked not to.
    struct Case {
        const char* options;
        WORD bits;
        DWORD headerSize;
    } cases[] = {{"-type bilevel bmp:", 1, 108},
                 {"-colors 12 -type palette bmp:", 4, 124},
                 {"-colors 12 -type palette bmp3:", 4, 40},
                 {"-colors 200 -type palette bmp:", 8, 124},
                 {"-colors 200 -type palette bmp3:", 8, 40},
                 {"-colors 200 -type palette -compress none bmp:", 8, 124},
                 {"-type truecolor bmp:", 24, 124},
                 {"-type truecolor bmp3:", 24, 40}};
    TempFile source("kestrel-interop-source.ppm");
    TempFile written("kestrel-interop-written.bmp");
    RunHost("/usr/bin/convert -size 31x9 -seed 7 plasma:fractal '" + source.hostPath + "'");
    for (const Case& c : cases) {
        RunHost(std::string("/usr/bin/convert '") + source.hostPath + "' " + c.options + "'" +
                written.hostPath + "'");
        const std::vector<BYTE> file = ReadWholeFile(written.windowsPath);
        ASSERT_GT(file.size(), 54u) << c.options;
        ASSERT_EQ(c.headerSize, U32(file, 14)) << c.options;
        ASSERT_EQ(c.bits, file[28] | (file[29] << 8)) << c.options;

        const std::string expected = HostRgb("/usr/bin/convert '" + written.hostPath + "' -depth 8 rgb:-");
        Dib dib(ReadBack(file));
        ASSERT_TRUE(dib) << c.options;
        // Run-length rows are unpacked by the platform, at 24 bits where it is exact.
        if (dib->biCompression != BI_RGB)
            dib.reset(ConvertDibDepth(dib.get(), 24, BI_RGB));
        ASSERT_TRUE(dib) << c.options;
        EXPECT_EQ("same", FirstDifference(expected, ExpectedRgb(dib.get()))) << c.options;
    }
}
