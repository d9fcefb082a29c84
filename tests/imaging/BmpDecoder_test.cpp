#include "tests/support/GTest.h"
#include <windows.h>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include "framework/File.h"
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "tests/imaging/DibTestSupport.h"

namespace {
struct DibFree {
    void operator()(BITMAPINFOHEADER* p) const { FreeDib(p); }
};
typedef std::unique_ptr<BITMAPINFOHEADER, DibFree> Dib;

std::string WindowsPathOf(const std::string& hostPath) {
    std::string path = "Z:" + hostPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string AsString(const std::vector<BYTE>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The decoded pixels, top row first, three bytes each.
std::string RgbOf(const BITMAPINFOHEADER* dib) {
    std::string rgb;
    for (LONG y = 0; y < dib->biHeight; ++y)
        for (LONG x = 0; x < dib->biWidth; ++x) {
            const DWORD c = DibPixelColor(dib, x, y);
            rgb += {(char)(c >> 16), (char)(c >> 8), (char)c};
        }
    return rgb;
}

// "exact", "near" (no channel off by more than 1) or a reason it is not.
std::string Agreement(const std::string& meant, const std::string& decoded) {
    if (decoded == meant)
        return "exact";
    if (decoded.size() != meant.size())
        return "sizes " + std::to_string(meant.size()) + "/" + std::to_string(decoded.size());
    int worst = 0;
    for (size_t i = 0; i < meant.size(); ++i)
        worst = std::max(worst, abs((BYTE)meant[i] - (BYTE)decoded[i]));
    return worst <= 1 ? "near" : "off by " + std::to_string(worst);
}

bool Agrees(const std::string& want, const std::string& meant, const std::string& decoded) {
    const std::string got = Agreement(meant, decoded);
    return want == "skip" || got == want || (want == "near" && got == "exact");
}

// The test files: written by BmpTestFiles.py into a folder of their own.
class BmpDecoder : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[MAX_PATH], host[1024];
        GetTempPathA(sizeof dir, dir);
        m_folder = std::string(dir) + "kestrel-bmp-decoder-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(HostPathFor(m_folder.c_str(), host, sizeof host));
        m_host = host;
        RunHost("/usr/bin/python3 '" KESTREL_SOURCE_DIR "/tests/imaging/BmpTestFiles.py' '" + m_host + "'");
    }
    void TearDown() override { system(("rm -rf '" + m_host + "'").c_str()); }

    std::string m_folder, m_host;
};
} // namespace

// Every depth and compression, both row orders, the header versions, bit fields,
// damaged runs, indices beyond the table and cut files. Good files come out as the
// reference decoders see them, damaged ones with index 0 where no run painted and
// black past the file's table; every accepted file is in our one form.
TEST_F(BmpDecoder, TableOfFilesAgainstReferenceDecoders) {
    std::istringstream manifest(AsString(ReadWholeFile(WindowsPathOf(m_host + "/manifest.txt"))));
    int cases = 0;
    std::string name, kind, magick, pillow;
    while (manifest >> name >> kind >> magick >> pillow) {
        SCOPED_TRACE(name);
        ++cases;
        const std::string file = m_host + "/" + name + ".bmp";
        const std::vector<BYTE> bytes = ReadWholeFile(WindowsPathOf(file));
        ASSERT_FALSE(bytes.empty());
        Dib dib(DecodeBmp(bytes.data(), bytes.size()));
        if (kind == "refused") {
            EXPECT_FALSE(dib);
            continue;
        }
        ASSERT_TRUE(dib);
        const WORD bits = dib->biBitCount;
        EXPECT_TRUE(bits == 1 || bits == 4 || bits == 8 || bits == 24) << bits;
        EXPECT_EQ(40u, dib->biSize);
        EXPECT_EQ((DWORD)BI_RGB, dib->biCompression);
        EXPECT_EQ(bits == 24 ? 0u : 1u << bits, dib->biClrUsed) << "the full table";
        EXPECT_EQ(DibRowBytes(dib->biWidth, bits) * dib->biHeight, dib->biSizeImage);

        const std::string meant = AsString(ReadWholeFile(WindowsPathOf(m_host + "/" + name + ".rgb")));
        EXPECT_EQ("exact", Agreement(meant, RgbOf(dib.get())));
        const std::string byMagick = RunHost("/usr/bin/convert '" + file + "' -depth 8 rgb:- 2>/dev/null");
        EXPECT_TRUE(Agrees(magick, meant, byMagick))
            << "ImageMagick: " << Agreement(meant, byMagick) << ", expected " << magick;
        const std::string byPillow =
            RunHost("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                    "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" +
                    file + "' 2>/dev/null");
        EXPECT_TRUE(Agrees(pillow, meant, byPillow))
            << "Pillow: " << Agreement(meant, byPillow) << ", expected " << pillow;
    }
    EXPECT_GE(cases, 50);
}

// Every file in tests/data/bad is a BMP broken in the way its name says; the
// decoder of users' files refuses each, as the exchange reader does.
TEST(BmpDecoderBadFiles, AreRefused) {
    CFileFind find;
    const std::string folder = WindowsPathOf(KESTREL_SOURCE_DIR "/tests/data/bad/");
    int files = 0;
    for (BOOL more = find.FindFile((folder + "*.bmp").c_str()); more;) {
        more = find.FindNextFile();
        const std::vector<BYTE> bytes = ReadWholeFile(folder + find.GetFileName());
        Dib dib(DecodeBmp(bytes.data(), bytes.size()));
        EXPECT_FALSE(dib) << find.GetFileName();
        ++files;
    }
    EXPECT_GE(files, 30);
}
