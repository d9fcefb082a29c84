// Batch conversion speed: 50 PNG photos to JPEG through the conversion engine, the
// way a batch converts them, against ImageMagick doing the same work in one run.
// Not a test; run it by hand under Wine:
//   cmake --build <build> --target ConvertBench
//   WINEPREFIX=<build>/wineprefix wine <build>/tests/convert/ConvertBench.exe.so
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "convert/Globals.h"
#include "imaging/Exchange.h"
#include "convert/ConvertEngine.h"
#include "framework/HostPath.h"
#include "imaging/DevIL.h"

namespace {

const int kPhotos = 50;
const int kQuality = 99; // the program's default "jpgq"

std::string HostPath(const std::string& path) {
    char host[1024];
    return HostPathFor(path.c_str(), host, sizeof host) ? host : "";
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

int Run(const std::string& command) {
    return system((command + " >/dev/null 2>&1").c_str());
}

} // namespace

int main() {
    char temp[kPathSize];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "kestrel-convert-bench";
    std::string kestrelOut = dir + "\\kestrel", magickOut = dir + "\\magick";
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA(kestrelOut.c_str(), nullptr);
    CreateDirectoryA(magickOut.c_str(), nullptr);
    snprintf(g_szExchangePath, kPathSize, "%s\\kstmp0.bmp", dir.c_str());
    OpenExchangeFileAt(g_szExchangePath);
    ilInit();
    iluInit();
    ilSetInteger(IL_JPG_QUALITY, kQuality);

    printf("making %d 1024x768 PNG photos...\n", kPhotos);
    for (int i = 0; i < kPhotos; ++i) {
        std::string photo = HostPath(dir) + "/photo" + std::to_string(i) + ".png";
        if (Run("/usr/bin/convert -size 1024x768 -seed " + std::to_string(i + 1) +
                " plasma:fractal -blur 0x1 '" + photo + "'") != 0) {
            fprintf(stderr, "ImageMagick could not make %s\n", photo.c_str());
            return 1;
        }
    }

    LARGE_INTEGER start, middle, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kPhotos; ++i) {
        std::string name = "photo" + std::to_string(i);
        snprintf(g_szSourcePath, kPathSize, "%s\\%s.png", dir.c_str(), name.c_str());
        snprintf(g_szTargetPath, kPathSize, "%s\\%s.jpg", kestrelOut.c_str(), name.c_str());
        if (!NeedsStaging())
            ConvertFile(false);
        else if (StageSource(nullptr, kDeepenOnly8Bits))
            ConvertFile(true);
    }
    QueryPerformanceCounter(&middle);
    Run("/usr/bin/mogrify -path '" + HostPath(magickOut) + "' -format jpg -quality " +
        std::to_string(kQuality) + " '" + HostPath(dir) + "'/photo*.png");
    QueryPerformanceCounter(&end);

    double kestrel = Seconds(start, middle), magick = Seconds(middle, end);
    printf("Kestrel engine: %.2f s (%.1f ms a photo)\n", kestrel, 1000 * kestrel / kPhotos);
    printf("ImageMagick:    %.2f s (%.1f ms a photo)\n", magick, 1000 * magick / kPhotos);
    printf("ratio Kestrel / ImageMagick: %.2f\n", kestrel / magick);
    exchangeFile.Close();
    Run("rm -rf '" + HostPath(dir) + "'");
    return g_nLastImageError == 0 ? 0 : 1;
}
