// Batch conversion speed: 50 PNG photos to JPEG by the image library alone, by our
// engine in this process, by a batch with one worker and with two, and by
// ImageMagick in one run; and what a fresh worker costs one small file.
// Not a test; run it by hand under Wine:
//   cmake --build <build> --target ConvertBench
//   WINEPREFIX=<build>/wineprefix wine <build>/tests/convert/ConvertBench.exe.so
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>
#include "convert/FileConversion.h"
#include "convert/Worker.h"
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

template <class Work> double Time(Work work) {
    LARGE_INTEGER frequency, from, to;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&from);
    work();
    QueryPerformanceCounter(&to);
    return double(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Run(const std::string& command) {
    return system((command + " >/dev/null 2>&1").c_str());
}

} // namespace

int main() {
    char temp[kPathSize];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "kestrel-convert-bench";
    std::string devilOut = dir + "\\devil", engineOut = dir + "\\engine", oneOut = dir + "\\one",
                twoOut = dir + "\\two", magickOut = dir + "\\magick";
    CreateDirectoryA(dir.c_str(), nullptr);
    for (const std::string& out : {devilOut, engineOut, oneOut, twoOut, magickOut})
        CreateDirectoryA(out.c_str(), nullptr);
    snprintf(g_szExchangePath, kPathSize, "%s\\kstmp0.bmp", dir.c_str());
    OpenExchangeFileAt(g_szExchangePath);
    ilInit();
    iluInit();
    ilSetInteger(IL_JPG_QUALITY, kQuality);
    ilEnable(IL_FILE_OVERWRITE);
    g_nJpegQuality = kQuality;

    printf("making %d 1024x768 PNG photos...\n", kPhotos);
    for (int i = 0; i < kPhotos; ++i) {
        std::string photo = HostPath(dir) + "/photo" + std::to_string(i) + ".png";
        if (Run("/usr/bin/convert -size 1024x768 -seed " + std::to_string(i + 1) +
                " plasma:fractal -blur 0x1 '" + photo + "'") != 0) {
            fprintf(stderr, "ImageMagick could not make %s\n", photo.c_str());
            return 1;
        }
    }

    std::vector<std::string> sources;
    for (int i = 0; i < kPhotos; ++i)
        sources.push_back(dir + "\\photo" + std::to_string(i) + ".png");

    // The image library by itself: its loader and its JPEG writer, one after another.
    double devil = Time([&] {
        for (int i = 0; i < kPhotos; ++i) {
            ILuint image = ilGenImage();
            ilBindImage(image);
            std::string target = HostPath(devilOut) + "/photo" + std::to_string(i) + ".jpg";
            if (!ilLoadImage(HostPath(sources[i]).c_str()) || !ilSaveImage(target.c_str()))
                fprintf(stderr, "the library alone failed on photo %d\n", i);
            ilDeleteImage(image);
        }
    });
    // Our engine in this process, the way a batch converted before workers.
    double engine = Time([&] {
        for (int i = 0; i < kPhotos; ++i) {
            snprintf(g_szSourcePath, kPathSize, "%s", sources[i].c_str());
            snprintf(g_szTargetPath, kPathSize, "%s\\photo%d.jpg", engineOut.c_str(), i);
            if (!NeedsStaging())
                ConvertFile(false);
            else if (StageSource(nullptr, kDeepenOnly8Bits))
                ConvertFile(true);
        }
    });
    // The batch as the tray runs it: one worker, then one a core.
    SetBatchWorkers(1);
    double one = Time([&] { ConvertBatch(nullptr, sources, oneOut + "\\", "jpg"); });
    SetBatchWorkers(kBatchWorkers);
    double two = Time([&] { ConvertBatch(nullptr, sources, twoOut + "\\", "jpg"); });
    double magick = Time([&] {
        Run("/usr/bin/mogrify -path '" + HostPath(magickOut) + "' -format jpg -quality " +
            std::to_string(kQuality) + " '" + HostPath(dir) + "'/photo*.png");
    });

    // One small file on its own: in this process, and through a fresh worker.
    std::string single = dir + "\\single.jpg";
    Run("/usr/bin/convert -size 320x240 plasma:fractal '" + HostPath(single) + "'");
    std::vector<double> here, apart;
    for (int i = 0; i < 11; ++i) {
        snprintf(g_szSourcePath, kPathSize, "%s", single.c_str());
        snprintf(g_szTargetPath, kPathSize, "%s\\single%d.png", engineOut.c_str(), i);
        here.push_back(Time([] { ConvertFile(false); }));
        snprintf(g_szTargetPath, kPathSize, "%s\\single%d.png", oneOut.c_str(), i);
        apart.push_back(Time([] { CConvertWorker().Convert(nullptr, kDeepenUpTo8Bits); }));
    }

    printf("%d 1024x768 PNG photos to JPEG (quality %d):\n", kPhotos, kQuality);
    const struct {
        const char* what;
        double seconds;
    } rows[] = {{"image library alone", devil},  {"engine in-process", engine}, {"batch, one worker", one},
                {"batch, two workers", two},     {"ImageMagick mogrify", magick}};
    for (const auto& row : rows)
        printf("  %-22s %6.2f s  %6.1f ms a photo\n", row.what, row.seconds, 1000 * row.seconds / kPhotos);
    printf("  two workers against one: %.2fx\n", one / two);
    printf("one 320x240 JPEG to PNG, median of %zu: in-process %.1f ms, fresh worker %.1f ms, overhead %.1f ms\n",
           here.size(), 1000 * Median(here), 1000 * Median(apart), 1000 * (Median(apart) - Median(here)));
    exchangeFile.Close();
    Run("rm -rf '" + HostPath(dir) + "'");
    return g_nLastImageError == 0 ? 0 : 1;
}
