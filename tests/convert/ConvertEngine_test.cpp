#include "tests/support/GTest.h"
#include "tests/support/TestFiles.h"
#include <windows.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "convert/Globals.h"
#include "imaging/Exchange.h"
#include "convert/ConvertEngine.h"
#include "framework/HostPath.h"
#include "imaging/DevIL.h"
#include "imaging/IlutBridge.h"

namespace {

const int kWidth = 32, kHeight = 24, kCell = 8; // cells on JPEG block borders
const COLORREF kColors[] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 0, 255)};

// The test picture: 8 x 8 cells of pure colours that every path keeps exactly,
// the 8-bit screen palette included. Two colours for 1-bit files.
int ColorIndex(int x, int y, int colors) {
    return (x / kCell + y / kCell) % colors;
}

typedef std::vector<BYTE> Rgb; // rows from the top, 3 bytes a pixel

Rgb Picture(int colors) {
    Rgb rgb;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            COLORREF c = kColors[ColorIndex(x, y, colors)];
            rgb.insert(rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    return rgb;
}

void PutLE(std::vector<BYTE>& out, DWORD value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back((BYTE)(value >> (8 * i)));
}

// A BMP file of the test picture at 1, 4, 8, 16 (5-5-5), 24 or 32 bits.
std::vector<BYTE> TestBmp(int bits) {
    int colors = bits == 1 ? 2 : 4;
    int tableEntries = bits <= 8 ? 1 << bits : 0;
    DWORD stride = ((kWidth * bits + 31) / 32) * 4;
    DWORD offBits = 14 + 40 + tableEntries * 4;
    std::vector<BYTE> out;
    out.push_back('B');
    out.push_back('M');
    PutLE(out, offBits + stride * kHeight, 4);
    PutLE(out, 0, 4);
    PutLE(out, offBits, 4);
    for (DWORD v : {40, kWidth, kHeight})
        PutLE(out, v, 4);
    PutLE(out, 1, 2);
    PutLE(out, bits, 2);
    for (int i = 0; i < 6; ++i)
        PutLE(out, 0, 4);
    for (int i = 0; i < tableEntries; ++i) {
        COLORREF c = i < 4 ? kColors[i] : RGB(0, 128, 0);
        out.insert(out.end(), {GetBValue(c), GetGValue(c), GetRValue(c), 0});
    }
    for (int y = kHeight - 1; y >= 0; --y) {
        std::vector<BYTE> row(stride);
        for (int x = 0; x < kWidth; ++x) {
            int index = ColorIndex(x, y, colors);
            COLORREF c = kColors[index];
            if (bits <= 8) {
                int perByte = 8 / bits;
                row[x / perByte] |= index << (8 - bits * (x % perByte + 1));
            } else if (bits == 16) {
                WORD v = (GetRValue(c) >> 3) << 10 | (GetGValue(c) >> 3) << 5 | GetBValue(c) >> 3;
                row[2 * x] = (BYTE)v;
                row[2 * x + 1] = (BYTE)(v >> 8);
            } else {
                BYTE* p = &row[x * (bits / 8)];
                p[0] = GetBValue(c);
                p[1] = GetGValue(c);
                p[2] = GetRValue(c);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

using testfiles::HostPath;

// Larger pictures for the quality of lossy and 8-bit targets, as rows of RGB.
struct Drawn {
    int width, height;
    Rgb rgb;
};

template <class F> Drawn Draw(int width, int height, F colour) {
    Drawn d = {width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF c = colour(x, y);
            d.rgb.insert(d.rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    return d;
}

double Psnr(const Rgb& a, const Rgb& b) {
    if (a.size() != b.size() || a.empty())
        return -1;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum == 0 ? 99 : 10 * log10(255.0 * 255.0 * a.size() / sum);
}

// Strokes of pure red, green and blue on white, as small coloured text.
COLORREF ColouredText(int x, int y) {
    const int cellX = x % 9, cellY = y % 14, glyph = x / 9 + y / 14 * 31;
    if (cellY < 2 || cellY > 11 || cellX > 6)
        return RGB(255, 255, 255);
    const bool stroke = cellX == (glyph % 5) || cellY == 2 + (glyph % 8) || (cellX + cellY + glyph) % 7 == 0;
    const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 192, 0), RGB(0, 0, 255)};
    return stroke ? colours[(y / 14) % 3] : RGB(255, 255, 255);
}

COLORREF SmoothPhoto(int x, int y) {
    return RGB((int)(128 + 100 * sin(x / 23.0) * cos(y / 31.0)), (int)(128 + 90 * sin((x + y) / 41.0)),
               (int)(100 + 80 * cos(x / 17.0 - y / 29.0)));
}

// 200 colours, far apart in places and neighbours in others.
COLORREF TwoHundredColours(int x, int y) {
    const int i = (x / 3 + y / 2 * 7) % 200;
    return RGB(i, (i * 37) % 256, 255 - i / 2);
}

// The sampling byte of the luma component in the file's frame header; 0 if none.
int LumaSampling(const std::vector<BYTE>& jpeg) {
    for (size_t i = 2; i + 12 < jpeg.size() && jpeg[i] == 0xFF;) {
        if (jpeg[i + 1] >= 0xC0 && jpeg[i + 1] <= 0xC3)
            return jpeg[i + 11];
        i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
    }
    return 0;
}

using testfiles::ReadFileBytes;

void WriteAll(const std::string& path, const std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
}

// The first image of a file as ImageMagick decodes it; empty when it cannot.
Rgb Decode(const std::string& path, int* width, int* height) {
    std::string command = "/usr/bin/convert '" + HostPath(path) + "[0]' -depth 8 ppm:- 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {};
    int maxValue = 0;
    Rgb rgb;
    if (fscanf(pipe, "P6 %d %d %d", width, height, &maxValue) == 3 && fgetc(pipe) != EOF) {
        rgb.resize((size_t)*width * *height * 3);
        rgb.resize(fread(rgb.data(), 1, rgb.size(), pipe));
    }
    pclose(pipe);
    return rgb;
}

// Largest difference of one channel; -1 when the sizes differ.
int MaxDifference(const Rgb& a, const Rgb& b) {
    if (a.size() != b.size() || a.empty())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, abs(a[i] - b[i]));
    return worst;
}

// Mean difference over all channels; JPEG blurs colour edges, so lossy results are
// judged by this. -1 when the sizes differ.
double MeanDifference(const Rgb& a, const Rgb& b) {
    if (a.size() != b.size() || a.empty())
        return -1;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += abs(a[i] - b[i]);
    return sum / a.size();
}

// Answers every "File Error!" box the way a user would, counting them: the
// library's errors have that caption, our codecs' failures that text under
// "Kestrel".
struct ErrorBoxes {
    static int count;
    static std::string lastText, lastCaption;

    static BOOL CALLBACK FindText(HWND child, LPARAM out) {
        char cls[32], text[512];
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
            *(std::string*)out = text;
        return TRUE;
    }
    static BOOL CALLBACK FindBox(HWND hwnd, LPARAM) {
        char title[64];
        GetWindowTextA(hwnd, title, sizeof title);
        if (IsWindowVisible(hwnd) && (strcmp(title, "File Error!") == 0 || strcmp(title, "Kestrel") == 0)) {
            ++count;
            lastCaption = title;
            EnumChildWindows(hwnd, FindText, (LPARAM)&lastText);
            PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
            return FALSE;
        }
        return TRUE;
    }
    static VOID CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
    }
};
int ErrorBoxes::count = 0;
std::string ErrorBoxes::lastText;
std::string ErrorBoxes::lastCaption;

class ConvertEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ilInit();
        iluInit();
        char temp[kPathSize];
        GetTempPathA(sizeof temp, temp);
        m_dir = std::string(temp) + "kestrel-convert-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(m_dir.c_str(), nullptr);
        snprintf(g_szExchangePath, kPathSize, "%skstmp0.bmp", m_dir.c_str());
        ASSERT_TRUE(OpenExchangeFileAt(g_szExchangePath));
        ErrorBoxes::count = 0;
        ErrorBoxes::lastText.clear();
        ErrorBoxes::lastCaption.clear();
        m_timer = SetTimer(nullptr, 0, 30, ErrorBoxes::Poll);
        g_nLastImageError = 0;
    }
    void TearDown() override {
        KillTimer(nullptr, m_timer);
        exchangeFile.Close();
        system(("rm -rf '" + HostPath(m_dir) + "'").c_str());
    }

    std::string Path(const std::string& name) const { return m_dir + name; }

    // A picture file made by ImageMagick from the test picture.
    std::string MakeWithMagick(const std::string& name, int colors = 4) {
        std::string ppm = Path("picture.ppm");
        Rgb rgb = Picture(colors);
        std::string header = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
        std::vector<BYTE> bytes(header.begin(), header.end());
        bytes.insert(bytes.end(), rgb.begin(), rgb.end());
        WriteAll(ppm, bytes);
        std::string command =
            "/usr/bin/convert '" + HostPath(ppm) + "' -quality 100 '" + HostPath(Path(name)) + "'";
        EXPECT_EQ(0, system(command.c_str())) << command;
        return Path(name);
    }

    // A file of a drawn picture in the type its name says, made by ImageMagick
    // (24-bit for BMP).
    std::string MakeDrawn(const std::string& name, const Drawn& d) {
        std::string ppm = Path("drawn.ppm");
        std::string header = "P6\n" + std::to_string(d.width) + " " + std::to_string(d.height) + "\n255\n";
        std::vector<BYTE> bytes(header.begin(), header.end());
        bytes.insert(bytes.end(), d.rgb.begin(), d.rgb.end());
        WriteAll(ppm, bytes);
        const bool bmp = name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0;
        std::string command = "/usr/bin/convert '" + HostPath(ppm) + "' -type TrueColor " +
                              (bmp ? "BMP3:" : "") + "'" + HostPath(Path(name)) + "'";
        EXPECT_EQ(0, system(command.c_str())) << command;
        return Path(name);
    }

    std::string MakeBmp(const std::string& name, int bits) {
        WriteAll(Path(name), TestBmp(bits));
        return Path(name);
    }

    // The calling order of the tray's conversions, without the copy shortcut.
    void Convert(const std::string& source, const std::string& target, DeepeningRule rule) {
        lstrcpynA(g_szSourcePath, source.c_str(), kPathSize);
        lstrcpynA(g_szTargetPath, target.c_str(), kPathSize);
        if (!NeedsStaging())
            ConvertFile(false);
        else if (StageSource(nullptr, rule))
            ConvertFile(true);
    }

    void ExpectExchangeEmpty() {
        EXPECT_EQ(0u, exchangeFile.GetLength());
        EXPECT_EQ(0u, exchangeFile.GetPosition());
    }

    std::string m_dir;
    UINT_PTR m_timer = 0;
};

struct RouteCase {
    std::string source; // made by ImageMagick, or "bmp<bits>" for our own BMP files
    std::string target;
    int colors;    // of the picture
    bool byteCopy; // the target holds the source's bytes
    bool lossy;    // JPEG on the way: judged by the mean difference
};

TEST_F(ConvertEngine, RouteTableOnRealFiles) {
    const RouteCase cases[] = {
        {"photo.png", "copy.PNG", 4, true, false},
        {"photo.jpeg", "photo.jpg", 4, false, true},
        {"photo.tif", "photo.tiff", 4, false, false},
        {"anim.gif", "anim2.gif", 4, true, false},
        {"anim.gif", "anim.png", 4, false, false},
        {"anim.gif", "anim.bmp", 4, false, false},
        {"photo.jpg", "photo.gif", 4, false, true},
        {"photo.png", "photo.jpg", 4, false, true},
        {"photo.png", "photo.gif", 4, false, false},
        {"photo.png", "photo.bmp", 4, false, false},
        {"photo.png", "photo.pcx", 4, false, false},
        {"photo.png", "photo.ppm", 4, false, false},
        {"photo.pcx", "photo.tif", 4, false, false},
        {"bmp1", "out1.gif", 2, false, false},
        {"bmp4", "out4.gif", 4, false, false},
        {"bmp8", "out8.gif", 4, false, false},
        {"bmp24", "out24.gif", 4, false, false},
        {"bmp16", "out16.gif", 4, false, false},
        {"bmp32", "out32.gif", 4, false, false},
        {"bmp1", "out1.png", 2, false, false},
        {"bmp4", "out4.png", 4, false, false},
        {"bmp8", "out8.png", 4, false, false},
        {"bmp24", "out24.png", 4, false, false},
        {"bmp24", "copy24.bmp", 4, true, false},
        // 5-bit channels are scaled, not shifted: white stays 255.
        {"bmp16", "out16.png", 4, false, false},
        {"bmp32", "out32.png", 4, false, false},
    };
    for (DeepeningRule rule : {kDeepenUpTo8Bits, kDeepenOnly8Bits}) {
        for (const RouteCase& c : cases) {
            SCOPED_TRACE(c.source + " -> " + c.target + (rule == kDeepenOnly8Bits ? " (batch)" : ""));
            std::string source = c.source.compare(0, 3, "bmp") == 0
                                     ? MakeBmp(c.source + ".bmp", atoi(c.source.c_str() + 3))
                                     : MakeWithMagick(c.source, c.colors);
            std::string target = Path(c.target);
            DeleteFileA(target.c_str());
            Convert(source, target, rule);
            EXPECT_EQ(0, ErrorBoxes::count) << ErrorBoxes::lastText;
            EXPECT_EQ(0, g_nLastImageError);
            ExpectExchangeEmpty();
            if (c.byteCopy)
                EXPECT_EQ(ReadFileBytes(source), ReadFileBytes(target));
            else
                EXPECT_NE(ReadFileBytes(source), ReadFileBytes(target));
            int width = 0, height = 0;
            Rgb decoded = Decode(target, &width, &height);
            EXPECT_EQ(kWidth, width);
            EXPECT_EQ(kHeight, height);
            if (c.lossy) {
                double difference = MeanDifference(Picture(c.colors), decoded);
                EXPECT_GE(difference, 0);
                EXPECT_LE(difference, 12);
            } else {
                EXPECT_EQ(0, MaxDifference(Picture(c.colors), decoded));
            }
        }
    }
}

// Reads the depth of the staged image without disturbing the exchange file.
WORD StagedDepth() {
    BITMAPINFOHEADER info = {};
    exchangeFile.Seek(14, CFile::begin);
    exchangeFile.Read(&info, sizeof info);
    exchangeFile.SeekToBegin();
    return info.biBitCount;
}

TEST_F(ConvertEngine, StagingRaisesBmpDepthsByTheCallersRule) {
    const struct {
        int bits;
        DeepeningRule rule;
        const char* target;
        WORD staged;
    } cases[] = {
        {1, kDeepenUpTo8Bits, "t.png", 24},  {4, kDeepenUpTo8Bits, "t.png", 24},
        {8, kDeepenUpTo8Bits, "t.png", 24},  {24, kDeepenUpTo8Bits, "t.png", 24},
        {1, kDeepenOnly8Bits, "t.png", 1},   {4, kDeepenOnly8Bits, "t.png", 4},
        {8, kDeepenOnly8Bits, "t.png", 24},  {24, kDeepenOnly8Bits, "t.png", 24},
        {16, kDeepenOnly8Bits, "t.png", 24}, {1, kDeepenOnly8Bits, "t.gif", 8},
        {4, kDeepenUpTo8Bits, "t.gif", 8},   {8, kDeepenUpTo8Bits, "t.gif", 8},
        {24, kDeepenUpTo8Bits, "t.gif", 8},  {32, kDeepenOnly8Bits, "t.gif", 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits -> " + c.target +
                     (c.rule == kDeepenOnly8Bits ? " (batch)" : ""));
        std::string source = MakeBmp("in.bmp", c.bits);
        lstrcpynA(g_szSourcePath, source.c_str(), kPathSize);
        lstrcpynA(g_szTargetPath, Path(c.target).c_str(), kPathSize);
        ASSERT_TRUE(StageSource(nullptr, c.rule));
        EXPECT_EQ(0u, exchangeFile.GetPosition());
        EXPECT_EQ(c.staged, StagedDepth());
        exchangeFile.SetLength(0);
    }
    EXPECT_EQ(0, ErrorBoxes::count);
}

TEST_F(ConvertEngine, UnreadableSourcesShowOneErrorAndWriteNothing) {
    WriteAll(Path("garbage.png"), std::vector<BYTE>(300, 0x5A));
    WriteAll(Path("short.bmp"), {'B', 'M', 1, 2});
    const struct {
        std::string source, target;
    } cases[] = {
        {"missing.png", "out.jpg"}, {"garbage.png", "out.jpg"}, {"missing.jpg", "out.gif"},
        {"garbage.png", "out.gif"}, {"missing.bmp", "out.png"}, {"missing.bmp", "out.gif"},
        {"missing.gif", "out.png"}, {"short.bmp", "out.gif"},   {"short.bmp", "out.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.target);
        ErrorBoxes::count = 0;
        g_nLastImageError = 0;
        DeleteFileA(Path(c.target).c_str());
        Convert(Path(c.source), Path(c.target), kDeepenUpTo8Bits);
        EXPECT_EQ(1, ErrorBoxes::count);
        EXPECT_EQ(0u, ErrorBoxes::lastText.rfind("Error: ", 0)) << ErrorBoxes::lastText;
        EXPECT_NE(0, g_nLastImageError);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path(c.target).c_str()));
        EXPECT_EQ(0, ilGetError()); // the queue was drained
        ExpectExchangeEmpty();
    }
}

TEST_F(ConvertEngine, ErrorTextIsTheLibrarysOwn) {
    Convert(Path("missing.png"), Path("out.jpg"), kDeepenUpTo8Bits);
    EXPECT_EQ(std::string("Error: ") + iluErrorString(IL_COULD_NOT_OPEN_FILE) + "\n", g_szMessage);
    EXPECT_EQ(IL_COULD_NOT_OPEN_FILE, g_nLastImageError);
}

TEST_F(ConvertEngine, ExistingTargetsAreReplacedAndSourcesNeverChange) {
    std::string source = MakeWithMagick("photo.png");
    std::vector<BYTE> original = ReadFileBytes(source);
    WriteAll(Path("photo.jpg"), std::vector<BYTE>(5000, 1));
    Convert(source, Path("photo.jpg"), kDeepenOnly8Bits);
    int width = 0, height = 0;
    double difference = MeanDifference(Picture(4), Decode(Path("photo.jpg"), &width, &height));
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, 12);

    // A same-type "conversion" onto the file itself, as a batch into the source's
    // own folder does.
    Convert(source, source, kDeepenOnly8Bits);
    std::string gif = MakeWithMagick("anim.gif");
    std::vector<BYTE> originalGif = ReadFileBytes(gif);
    Convert(gif, gif, kDeepenOnly8Bits);
    EXPECT_EQ(original, ReadFileBytes(source));
    EXPECT_EQ(originalGif, ReadFileBytes(gif));
    EXPECT_EQ(0, ErrorBoxes::count);
    ExpectExchangeEmpty();
}

TEST_F(ConvertEngine, SameTypeSuffixComparesTheLastThreeCharacters) {
    const struct {
        const char *source, *target;
        bool same;
    } cases[] = {
        {"photo.png", "copy.PNG", true},    {"photo.jpeg", "photo.jpg", false},
        {"photo.tif", "photo.tiff", false}, {"a.bw", "b.bw", true},
        {"a.jpg", "b.jpe", false},          {"", "", false},
    };
    for (const auto& c : cases) {
        lstrcpynA(g_szSourcePath, c.source, kPathSize);
        lstrcpynA(g_szTargetPath, c.target, kPathSize);
        EXPECT_EQ(c.same, SameTypeSuffix()) << c.source << " " << c.target;
    }
}

TEST_F(ConvertEngine, LibraryImageBecomesADeviceBitmapTheRightWayUp) {
    std::string source = MakeWithMagick("photo.png");
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ASSERT_TRUE(ilLoadImage(HostPath(source).c_str()));
    HBITMAP bitmap = ilutConvertToHBitmap(nullptr);
    ilDeleteImages(1, &image);
    ASSERT_TRUE(bitmap);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y : {0, kCell, kHeight - 1})
        for (int x : {0, kCell, kWidth - 1})
            EXPECT_EQ(kColors[ColorIndex(x, y, 4)], GetPixel(dc, x, y)) << x << "," << y;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
}

std::string DosPath(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return "Z:" + path;
}

// A damaged GIF source (to a .gif it would be a byte copy), or a GIF target that
// cannot be written completely: the codec's box ("File Error!" under "Kestrel")
// once, no target, the exchange file empty, and this process goes on.
TEST_F(ConvertEngine, GifCodecFailuresShowOneBoxAndLeaveNoTarget) {
    const std::string bad = DosPath(KESTREL_SOURCE_DIR "/tests/data/bad/");
    for (const char* name : {"cut_in_image_data.gif", "zero_width.gif", "code_beyond_the_table.gif",
                             "no_image_header_and_trailer.gif"})
        for (const char* target : {"out.png", "out.bmp"}) {
            SCOPED_TRACE(std::string(name) + " -> " + target);
            ErrorBoxes::count = 0;
            lstrcpynA(g_szSourcePath, (bad + name).c_str(), kPathSize);
            lstrcpynA(g_szTargetPath, Path(target).c_str(), kPathSize);
            EXPECT_FALSE(StageSource(nullptr, kDeepenUpTo8Bits));
            EXPECT_EQ(1, ErrorBoxes::count);
            EXPECT_EQ("Kestrel", ErrorBoxes::lastCaption);
            EXPECT_EQ("File Error!", ErrorBoxes::lastText);
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path(target).c_str()));
            ExpectExchangeEmpty();
        }

    // A full disk under the GIF writer (a small tmpfs; root only).
    const std::string disk = "/tmp/kestrel-convert-full-" + std::to_string(GetCurrentProcessId());
    if (system(
            ("mkdir -p " + disk + " && mount -t tmpfs -o size=64k tmpfs " + disk + " 2>/dev/null").c_str()))
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string noise = Path("noise.png");
    EXPECT_EQ(
        0,
        system(("/usr/bin/convert -size 400x400 xc:gray +noise Random '" + HostPath(noise) + "'").c_str()));
    ErrorBoxes::count = 0;
    const std::string target = DosPath(disk + "/out.gif");
    Convert(noise, target, kDeepenUpTo8Bits);
    EXPECT_EQ(1, ErrorBoxes::count);
    EXPECT_EQ("Kestrel", ErrorBoxes::lastCaption);
    EXPECT_EQ("File Error!", ErrorBoxes::lastText);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(target.c_str()));
    ExpectExchangeEmpty();
    system(("umount -l " + disk + " && rmdir " + disk).c_str());
}

// A BMP of 4 x 2 pixels at 8 bits with a table of entries and the given image
// bytes (rows bottom-up, or run-length data).
std::vector<BYTE> SmallBmp8(DWORD compression, const std::vector<RGBQUAD>& table,
                            const std::vector<BYTE>& image) {
    std::vector<BYTE> out = {'B', 'M'};
    DWORD offBits = 54 + 4 * (DWORD)table.size();
    PutLE(out, offBits + (DWORD)image.size(), 4);
    PutLE(out, 0, 4);
    PutLE(out, offBits, 4);
    for (DWORD v : {40, 4, 2})
        PutLE(out, v, 4);
    PutLE(out, 1, 2);
    PutLE(out, 8, 2);
    PutLE(out, compression, 4);
    PutLE(out, (DWORD)image.size(), 4);
    PutLE(out, 0, 4);
    PutLE(out, 0, 4);
    PutLE(out, (DWORD)table.size(), 4);
    PutLE(out, 0, 4);
    for (const RGBQUAD& q : table)
        out.insert(out.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

// Damaged BMPs reach the library only as our own BMPs: indices beyond the file's
// table come out black, pixels that no run paints as entry 0.
TEST_F(ConvertEngine, DamagedBmpSourcesConvertWithTheirDamageContained) {
    const RGBQUAD red = {0, 0, 255, 0}, blue = {255, 0, 0, 0};
    const struct {
        const char* name;
        std::vector<BYTE> bmp;
        Rgb expected; // top row first
    } cases[] = {
        {"beyond-table.bmp",
         SmallBmp8(BI_RGB, {red, blue}, {0, 1, 2, 255, 1, 0, 200, 7}),
         {0, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0}},
        {"run-past-row.bmp",
         SmallBmp8(BI_RLE8, {red, blue}, {9, 1, 0, 0, 1, 1}),
         {0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(Path(c.name), c.bmp);
        DeleteFileA(Path("out.png").c_str());
        ErrorBoxes::count = 0;
        Convert(Path(c.name), Path("out.png"), kDeepenOnly8Bits);
        EXPECT_EQ(0, ErrorBoxes::count) << ErrorBoxes::lastText;
        int width = 0, height = 0;
        EXPECT_EQ(c.expected, Decode(Path("out.png"), &width, &height));
        ExpectExchangeEmpty();
    }
}

// JPEG targets, from the library's images and from staged BMPs alike, keep the
// colour of small text: full chroma at the default quality, the right way up.
TEST_F(ConvertEngine, JpegTargetsKeepColouredTextSharp) {
    const Drawn text = Draw(160, 84, ColouredText);
    g_nJpegQuality = 99;
    for (const char* name : {"text.png", "text.bmp"}) {
        SCOPED_TRACE(name);
        const std::string target = Path("text.jpg");
        DeleteFileA(target.c_str());
        Convert(MakeDrawn(name, text), target, kDeepenUpTo8Bits);
        EXPECT_EQ(0, ErrorBoxes::count) << ErrorBoxes::lastText;
        EXPECT_EQ(0, g_nLastImageError);
        ExpectExchangeEmpty();
        EXPECT_EQ(0x11, LumaSampling(ReadFileBytes(target)));
        int width = 0, height = 0;
        const Rgb decoded = Decode(target, &width, &height);
        EXPECT_GE(Psnr(text.rgb, decoded), 45.0);
    }
}

// GIF targets from deeper images: a palette made for the image, so a photo stays
// close, and an image of at most 256 colours comes through exactly.
TEST_F(ConvertEngine, GifTargetsGetThePaletteOfTheirImage) {
    const struct {
        const char* source;
        COLORREF (*colour)(int, int);
        double psnr; // 99: exact; the fixed table gives the photo about 24 dB
    } cases[] = {{"photo.png", SmoothPhoto, 30},
                 {"few.png", TwoHundredColours, 99},
                 {"few.bmp", TwoHundredColours, 99},
                 {"photo.bmp", SmoothPhoto, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const Drawn picture = Draw(240, 160, c.colour);
        const std::string target = Path("out.gif");
        DeleteFileA(target.c_str());
        Convert(MakeDrawn(c.source, picture), target, kDeepenUpTo8Bits);
        EXPECT_EQ(0, ErrorBoxes::count) << ErrorBoxes::lastText;
        ExpectExchangeEmpty();
        int width = 0, height = 0;
        const Rgb decoded = Decode(target, &width, &height);
        EXPECT_GE(Psnr(picture.rgb, decoded), c.psnr);
    }
}

} // namespace

// A target on a full disk: every route reports the failure, and the file that was
// there keeps every byte, with nothing left beside it.
TEST_F(ConvertEngine, FullDiskKeepsTheOldTargetIntact) {
    const std::string disk = Path("full\\");
    CreateDirectoryA(disk.c_str(), nullptr);
    struct SmallDisk {
        std::string host;
        ~SmallDisk() { system(("umount -l '" + host + "'").c_str()); }
    } smallDisk{HostPath(disk)};
    const std::string mount = "mount -t tmpfs -o size=256k tmpfs '" + smallDisk.host + "'";
    ASSERT_EQ(0, system(mount.c_str())) << mount;
    // A noisy picture compresses badly, so no target fits in what is left.
    std::string source = Path("noise.png");
    ASSERT_EQ(0, system(("/usr/bin/convert -size 200x200 xc: +noise Random '" + HostPath(source) + "'").c_str()));
    std::string gifSource = Path("noise.gif");
    ASSERT_EQ(0, system(("/usr/bin/convert '" + HostPath(source) + "' '" + HostPath(gifSource) + "'").c_str()));
    const std::vector<BYTE> old(20000, 0x5a);
    struct Case {
        std::string source, target;
    } cases[] = {{source, "old.png"}, {source, "old.tif"}, {source, "old.gif"},
                 {gifSource, "old.bmp"}, {source, "copy.png"}};
    for (const Case& c : cases)
        WriteAll(disk + c.target, old);
    ASSERT_EQ(0, system(("dd if=/dev/zero of='" + HostPath(disk) + "filler' bs=4k 2>/dev/null; true").c_str()));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        ErrorBoxes::count = 0;
        if (c.target == "copy.png") {
            lstrcpynA(g_szSourcePath, c.source.c_str(), kPathSize);
            lstrcpynA(g_szTargetPath, (disk + c.target).c_str(), kPathSize);
            ConvertFile(false); // same type: the byte copy
        } else {
            Convert(c.source, disk + c.target, kDeepenUpTo8Bits);
        }
        EXPECT_EQ(1, ErrorBoxes::count) << ErrorBoxes::lastText;
        EXPECT_EQ(old, ReadFileBytes(disk + c.target));
        ExpectExchangeEmpty();
    }
    CFileFind stray;
    EXPECT_FALSE(stray.FindFile((disk + "kst*").c_str())) << "a temporary file was left behind";
    stray.Close();
}
