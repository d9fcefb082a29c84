// Our 256-colour palette and nearest-colour mapping against ImageMagick
// (-colors 256 +dither) and libimagequant (pngquant --nofs) on four photo-like
// images and a screenshot, made here by ImageMagick from its built-in images so
// that every run sees the same pixels. A native program, not a test:
//   cmake -S bench -B build/bench -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target quantize_bench
//   build/bench/quantize_bench [work folder, default /tmp/kestrel-quantize-bench]
// It prints the PSNR of each result against the original, and for 1920x1080 the
// time of our palette + mapping (best of five, and the first run, which pays for
// fresh memory) and of ImageMagick's quantisation (its run with -colors minus its
// run without, one thread, best of five). Wall-clock times: run it on a quiet
// machine.
#include "imaging/Quantize.h"
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct SImage {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
};

struct SSample {
    const char* name;
    const char* make; // ImageMagick arguments that write the PNG named last
};

// 1920x1080 photo-like images: smooth, noisy, textured; and a screenshot of
// flat areas, coloured text and an illustration.
const SSample kSamples[] = {
    {"rose", "-seed 11 rose: -filter Lanczos -resize 1920x1080! -attenuate 0.3 +noise Gaussian"},
    {"wizard", "-seed 12 wizard: -filter Lanczos -resize 1920x1080! -attenuate 0.2 +noise Gaussian"},
    {"plasma", "-seed 7 -size 1920x1080 plasma:fractal -blur 0x2"},
    {"landscape", "-seed 3 -size 1920x1080 plasma:green-blue \\( -size 1920x1080 gradient:skyblue-sienna \\) "
                  "-compose overlay -composite -attenuate 0.4 +noise Gaussian"},
    {"screenshot", "-size 1920x1080 'gradient:#dde4ee-#f8f8f8' \\( logo: -resize 60% \\) -geometry +900+300 "
                   "-composite -fill '#3366cc' -draw \"rectangle 0,0 1920,40\" -fill white -pointsize 22 "
                   "-annotate +20+28 \"File  Edit  View  Image\" -fill red -pointsize 18 "
                   "-annotate +40+120 \"Red text on a light window\" -fill '#00a000' "
                   "-annotate +40+160 \"Green text, anti-aliased\" -fill blue "
                   "-annotate +40+200 \"Blue text: 0123456789\" -fill '#ffeeaa' "
                   "-draw \"roundrectangle 40,240 700,900 12,12\""},
};

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

double Seconds(const std::string& command, int repeats) {
    double best = 1e9;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!Run(command))
            return -1;
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = s < best ? s : best;
    }
    return best;
}

// The image's pixels through ImageMagick, as rows of blue, green, red.
bool ReadImage(const std::string& path, SImage& image) {
    std::string command = "convert '" + path + "' -format '%w %h\\n' -write info:- -depth 8 rgb:-";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    // One newline, read by hand: a format newline would also skip pixel bytes.
    bool ok = fscanf(pipe, "%d %d", &image.width, &image.height) == 2 && fgetc(pipe) == '\n';
    if (ok) {
        const size_t n = (size_t)image.width * image.height;
        image.bgr.resize(3 * n);
        ok = fread(image.bgr.data(), 1, 3 * n, pipe) == 3 * n;
        for (size_t i = 0; i < n; ++i)
            std::swap(image.bgr[3 * i], image.bgr[3 * i + 2]);
    }
    return pclose(pipe) == 0 && ok;
}

double Psnr(const SImage& a, const SImage& b) {
    if (a.bgr.size() != b.bgr.size())
        return -1;
    double sum = 0;
    for (size_t i = 0; i < a.bgr.size(); ++i) {
        const double d = (double)a.bgr[i] - b.bgr[i];
        sum += d * d;
    }
    const double mse = sum / a.bgr.size();
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Palette and mapping, as the 8-bit reduction does them; the image rebuilt from
// the indices for the comparison.
SImage Ours(const SImage& original, double* seconds, double* firstSeconds, int* colors) {
    const SPixelRows rows = {original.bgr.data(), original.width, original.height,
                             (size_t)original.width * 3};
    std::vector<uint8_t> indices((size_t)original.width * original.height);
    std::vector<SPaletteColor> palette;
    *seconds = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        palette = PaletteFor8Bits(rows);
        MapToPalette(rows, palette, indices.data(), original.width);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        *seconds = s < *seconds ? s : *seconds;
        if (i == 0)
            *firstSeconds = s; // with the fresh memory's page faults
    }
    *colors = (int)palette.size();
    SImage out = original;
    for (size_t i = 0; i < indices.size(); ++i) {
        const SPaletteColor& c = palette[indices[i]];
        out.bgr[3 * i] = c.blue;
        out.bgr[3 * i + 1] = c.green;
        out.bgr[3 * i + 2] = c.red;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp/kestrel-quantize-bench";
    if (!Run("mkdir -p '" + dir + "'"))
        return 1;
    // One thread for ImageMagick, as ours runs on one.
    setenv("MAGICK_THREAD_LIMIT", "1", 1);
    std::printf("%-11s %8s %8s %8s %8s %7s %9s %9s %9s\n", "image", "ours dB", "IM dB", "pngq dB", "ours-IM",
                "colors", "ours ms", "1st ms", "IM ms");
    for (const SSample& sample : kSamples) {
        const std::string png = dir + "/" + sample.name + ".png";
        const std::string im = dir + "/" + sample.name + "-im.png";
        const std::string pq = dir + "/" + sample.name + "-pq.png";
        if (!Run(std::string("convert ") + sample.make + " -depth 8 -type TrueColor '" + png + "'") ||
            !Run("convert '" + png + "' +dither -colors 256 '" + im + "'") ||
            !Run("pngquant --force --nofs --speed 1 --quality 0-100 256 -o '" + pq + "' '" + png + "'")) {
            std::fprintf(stderr, "%s: could not make the images\n", sample.name);
            return 1;
        }
        SImage original, byIm, byPq;
        if (!ReadImage(png, original) || !ReadImage(im, byIm) || !ReadImage(pq, byPq)) {
            std::fprintf(stderr, "%s: could not read the images\n", sample.name);
            return 1;
        }
        double ours = 0, oursFirst = 0;
        int colors = 0;
        const SImage mine = Ours(original, &ours, &oursFirst, &colors);
        const double imBase = Seconds("convert '" + png + "' null:", 5);
        const double imQuant = Seconds("convert '" + png + "' +dither -colors 256 null:", 5);
        const double psnrOurs = Psnr(original, mine), psnrIm = Psnr(original, byIm);
        std::printf("%-11s %8.2f %8.2f %8.2f %+8.2f %7d %9.1f %9.1f %9.1f\n", sample.name, psnrOurs, psnrIm,
                    Psnr(original, byPq), psnrOurs - psnrIm, colors, ours * 1000, oursFirst * 1000,
                    (imQuant - imBase) * 1000);
    }
    return 0;
}
