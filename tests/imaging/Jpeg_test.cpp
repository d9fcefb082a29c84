#include "tests/support/GTest.h"
#include <windows.h>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "imaging/DevIL.h"
#include "imaging/Dib.h"
#include "framework/File.h"
#include "framework/SafeSave.h"
#include "imaging/JpegFile.h"
#include "imaging/JpegWriter.h"
#include "tests/imaging/DibTestSupport.h"

namespace {
struct DibFree {
    void operator()(BITMAPINFOHEADER* p) const { FreeDib(p); }
};
typedef std::unique_ptr<BITMAPINFOHEADER, DibFree> Dib;

// Screenshot-like: white with strokes of pure red, green and blue one or two
// pixels wide, as small coloured text is drawn.
DWORD ColouredText(LONG x, LONG y) {
    const LONG cellX = x % 9, cellY = y % 14, glyph = x / 9 + y / 14 * 31;
    if (cellY < 2 || cellY > 11 || cellX > 6)
        return 0xFFFFFF;
    const bool stroke = cellX == (glyph % 5) || cellY == 2 + (glyph % 8) || (cellX + cellY + glyph) % 7 == 0;
    const DWORD colours[] = {0xFF0000, 0x00C000, 0x0000FF};
    return stroke ? colours[(y / 14) % 3] : 0xFFFFFF;
}

DWORD SmoothPhoto(LONG x, LONG y) {
    const int r = (int)(128 + 100 * std::sin(x / 23.0) * std::cos(y / 31.0));
    const int g = (int)(128 + 90 * std::sin((x + y) / 41.0));
    const int b = (int)(100 + 80 * std::cos(x / 17.0 - y / 29.0));
    return (DWORD)(r << 16 | g << 8 | b);
}

DWORD Noise(LONG x, LONG y) {
    return (DWORD)((x * 2654435761u) ^ (y * 40503u) ^ (x * y * 97u)) & 0xFFFFFF;
}

SJpegPixels PixelsOf(const BITMAPINFOHEADER* dib) {
    const ptrdiff_t stride = DibRowBytes(dib->biWidth, 24);
    return {DibPixels(dib) + (dib->biHeight - 1) * stride, (int)dib->biWidth, (int)dib->biHeight, -stride,
            true};
}

// The luma and chroma sampling bytes of the frame header, and whether it is a
// baseline frame; empty when there is none.
std::vector<int> FrameSampling(const std::vector<unsigned char>& jpeg, bool* baseline) {
    for (size_t i = 2; i + 4 < jpeg.size();) {
        if (jpeg[i] != 0xFF)
            return {};
        const int marker = jpeg[i + 1];
        const size_t length = jpeg[i + 2] << 8 | jpeg[i + 3];
        if (marker >= 0xC0 && marker <= 0xC3) {
            *baseline = marker == 0xC0;
            std::vector<int> sampling;
            const int components = jpeg[i + 9];
            for (int c = 0; c < components && i + 12 + 3 * c < jpeg.size(); ++c)
                sampling.push_back(jpeg[i + 11 + 3 * c]);
            return sampling;
        }
        i += 2 + length;
    }
    return {};
}

// The file as ImageMagick decodes it, as 0x00RRGGBB per pixel from the top.
std::vector<DWORD> DecodeWithImageMagick(const std::string& hostPath, LONG width, LONG height) {
    const std::string rgb = RunHost("/usr/bin/convert '" + hostPath + "' -depth 8 rgb:-");
    std::vector<DWORD> pixels;
    if (rgb.size() != (size_t)width * height * 3)
        return pixels;
    for (size_t i = 0; i < rgb.size(); i += 3)
        pixels.push_back((BYTE)rgb[i] << 16 | (BYTE)rgb[i + 1] << 8 | (BYTE)rgb[i + 2]);
    return pixels;
}

template <class F> double Psnr(const std::vector<DWORD>& decoded, LONG width, LONG height, F colour) {
    double sum = 0;
    for (LONG y = 0; y < height; ++y)
        for (LONG x = 0; x < width; ++x)
            for (int shift = 0; shift < 24; shift += 8) {
                const int d =
                    (int)((decoded[y * width + x] >> shift) & 0xFF) - (int)((colour(x, y) >> shift) & 0xFF);
                sum += d * d;
            }
    const double mse = sum / (3.0 * width * height);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The size of the library's own JPEG of the same pixels at the same quality.
size_t LibraryJpegSize(const BITMAPINFOHEADER* dib, int quality) {
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ilTexImage(dib->biWidth, dib->biHeight, 1, 3, IL_BGR, IL_UNSIGNED_BYTE, DibPixels(dib));
    ilSetInteger(IL_JPG_QUALITY, quality);
    const ILuint size = ilSaveL(IL_JPG, nullptr, 0);
    std::vector<BYTE> bytes(size);
    const ILuint written = size ? ilSaveL(IL_JPG, bytes.data(), size) : 0;
    ilDeleteImages(1, &image);
    return written;
}

class Jpeg : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ilInit(); }
};
} // namespace

TEST_F(Jpeg, FullChromaFromQualityNinetyBaselineAlways) {
    Dib dib(MakeTestDib(40, 24, 24, {}, ColouredText));
    struct Case {
        int quality;
        int luma; // sampling byte of Y: 0x11 full chroma, 0x22 4:2:0
    } cases[] = {{1, 0x22}, {50, 0x22}, {89, 0x22}, {90, 0x11}, {99, 0x11}, {100, 0x11}, {250, 0x11}};
    for (const Case& c : cases) {
        std::vector<unsigned char> jpeg;
        ASSERT_TRUE(EncodeJpeg(PixelsOf(dib.get()), c.quality, jpeg)) << c.quality;
        bool baseline = false;
        const std::vector<int> sampling = FrameSampling(jpeg, &baseline);
        ASSERT_EQ(3u, sampling.size()) << c.quality;
        EXPECT_TRUE(baseline) << c.quality;
        EXPECT_EQ(c.luma, sampling[0]) << c.quality;
        EXPECT_EQ(0x11, sampling[1]) << c.quality;
        EXPECT_EQ(0x11, sampling[2]) << c.quality;
    }
}

TEST_F(Jpeg, ColouredTextKeepsItsColoursAtTheDefaultQuality) {
    // Written as capture saves write it, decoded by ImageMagick: the right way up
    // and sharp in colour (the library's 4:2:0 gives about 28 dB here).
    const LONG width = 279, height = 84;
    Dib dib(MakeTestDib(width, height, 24, {}, ColouredText));
    TempFile file("kestrel-text.jpg");
    ASSERT_TRUE(WriteJpegFromDib(dib.get(), file.windowsPath.c_str(), 99));
    const std::vector<DWORD> decoded = DecodeWithImageMagick(file.hostPath, width, height);
    ASSERT_FALSE(decoded.empty());
    EXPECT_GE(Psnr(decoded, width, height, ColouredText), 45.0);
}

TEST_F(Jpeg, NeverMuchLargerThanTheLibrarysFile) {
    struct Picture {
        const char* what;
        DWORD (*colour)(LONG, LONG);
    } pictures[] = {{"text", ColouredText}, {"photo", SmoothPhoto}, {"noise", Noise}};
    for (const Picture& p : pictures) {
        Dib dib(MakeTestDib(320, 240, 24, {}, p.colour));
        for (int quality : {99, 95, 90, 89, 75, 30}) {
            std::vector<unsigned char> jpeg;
            ASSERT_TRUE(EncodeJpeg(PixelsOf(dib.get()), quality, jpeg));
            const size_t library = LibraryJpegSize(dib.get(), quality);
            ASSERT_GT(library, 0u);
            EXPECT_LE(jpeg.size(), library * 3 / 2) << p.what << " at " << quality;
        }
    }
}

TEST_F(Jpeg, PalettedDibsAreWrittenInTheirColours) {
    const std::vector<RGBQUAD> table = {Rgb(255, 255, 255), Rgb(200, 0, 0), Rgb(0, 0, 180), Rgb(0, 150, 0)};
    auto index = [](LONG x, LONG y) { return (DWORD)(x / 8 + y / 8) % 4; };
    Dib dib(MakeTestDib(64, 32, 8, table, index));
    TempFile file("kestrel-paletted.jpg");
    ASSERT_TRUE(WriteJpegFromDib(dib.get(), file.windowsPath.c_str(), 99));
    const std::vector<DWORD> decoded = DecodeWithImageMagick(file.hostPath, 64, 32);
    ASSERT_FALSE(decoded.empty());
    auto colour = [&](LONG x, LONG y) {
        const RGBQUAD& q = table[index(x, y)];
        return (DWORD)(q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue);
    };
    EXPECT_GE(Psnr(decoded, 64, 32, colour), 40.0);
}

TEST_F(Jpeg, FileIsReplacedOnlyByACompleteOne) {
    // A folder of its own: other tests leave temporary files in the shared one.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string own = std::string(temp) + "kestrel-replace-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(own.c_str(), nullptr);
    const std::string path = own + "\\replaced.jpg";
    const char first[] = "old contents", second[] = "new contents, longer than the old";
    ASSERT_TRUE(CSafeSave::WriteBytes(path.c_str(), first, sizeof first));
    ASSERT_TRUE(CSafeSave::WriteBytes(path.c_str(), second, sizeof second));
    const std::vector<BYTE> bytes = ReadWholeFile(path);
    EXPECT_EQ(std::string(second, sizeof second), std::string(bytes.begin(), bytes.end()));
    // Nothing of ours is left beside it.
    CFileFind stray;
    EXPECT_FALSE(stray.FindFile((own + "\\kst*").c_str())) << "a temporary file was left behind";
    stray.Close();
    DeleteFileA(path.c_str());
    RemoveDirectoryA(own.c_str());

    // A folder that does not exist: refused, nothing written.
    const std::string missing = std::string(temp) + "kestrel-no-such-folder\\a.jpg";
    EXPECT_FALSE(CSafeSave::WriteBytes(missing.c_str(), first, sizeof first));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(missing.c_str()));
}

TEST_F(Jpeg, NamesTheLibraryWritesAsJpeg) {
    struct Case {
        const char* name;
        bool jpeg;
    } cases[] = {{"a.jpg", true}, {"C:\\x\\B.JPEG", true}, {"a.jpe", true},   {"a.png", false},
                 {"jpg", false},  {"a.jpg.png", false},    {"a.jpeg2", false}};
    for (const Case& c : cases)
        EXPECT_EQ(c.jpeg, IsJpegName(c.name)) << c.name;
}
