// Our resampler against Pillow's box filter (Image.resize(..., Image.BOX), through
// /usr/bin/python3) and ImageMagick's -scale, on the same images in one run:
// reducing 6000x4000 to 1024x683 and 4000x3000 to 1333x1000, enlarging 1000x750
// to 3000x2250. A native program, not a test:
//   cmake -S bench -B build/bench -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target resample_bench && build/bench/resample_bench
// Each figure is the best of several runs on one thread. Pillow is timed inside
// Python around resize alone; ImageMagick as a run with -scale minus a run that
// only reads the same memory-mapped cache file. It prints the times, the ratios
// ours / theirs, and how far our bytes are from Pillow's (we truncate, it rounds).
#include "imaging/Resample.h"
#include <stdlib.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
const int kRuns = 5;

struct Case {
    WORD sw, sh, dw, dh;
};

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Smooth gradients with some grain, in the working format (bottom-up BGR).
std::vector<BYTE> MakeImage(WORD w, WORD h) {
    std::vector<BYTE> rows(Dib24ImageBytes(w, h));
    unsigned seed = 12345;
    for (int y = 0; y < h; ++y) {
        BYTE* p = rows.data() + (size_t)(h - 1 - y) * Dib24Stride(w);
        for (int x = 0; x < w; ++x, p += 3) {
            seed = seed * 1664525 + 1013904223;
            const int grain = (seed >> 27) - 16;
            p[0] = (BYTE)std::clamp(x * 255 / w + grain, 0, 255);
            p[1] = (BYTE)std::clamp(y * 255 / h + grain, 0, 255);
            p[2] = (BYTE)std::clamp(((x + y) & 511) / 2 + grain, 0, 255);
        }
    }
    return rows;
}

// The same pixels as a binary PPM (top-down RGB) for the other two.
void WritePpm(const std::string& path, const std::vector<BYTE>& rows, WORD w, WORD h) {
    FILE* f = fopen(path.c_str(), "wb");
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    std::vector<BYTE> line(3 * (size_t)w);
    for (int y = 0; y < h; ++y) {
        const BYTE* p = rows.data() + (size_t)(h - 1 - y) * Dib24Stride(w);
        for (int x = 0; x < w; ++x) {
            line[3 * x] = p[3 * x + 2];
            line[3 * x + 1] = p[3 * x + 1];
            line[3 * x + 2] = p[3 * x];
        }
        fwrite(line.data(), 1, line.size(), f);
    }
    fclose(f);
}

double RunCommand(const std::string& command) {
    const double start = Now();
    if (system(command.c_str()) != 0) {
        fprintf(stderr, "failed: %s\n", command.c_str());
        exit(1);
    }
    return Now() - start;
}

// Seconds printed by a command on its standard output.
double CommandSeconds(const std::string& command) {
    FILE* p = popen(command.c_str(), "r");
    double seconds = -1;
    if (!p || fscanf(p, "%lf", &seconds) != 1 || pclose(p) != 0) {
        fprintf(stderr, "failed: %s\n", command.c_str());
        exit(1);
    }
    return seconds;
}

double PillowSeconds(const std::string& ppm, const Case& c, const std::string& out) {
    char script[1024];
    snprintf(script, sizeof(script),
             "import time; from PIL import Image; im = Image.open('%s'); im.load(); best = 1e9\n"
             "for _ in range(%d):\n"
             "    t = time.perf_counter(); r = im.resize((%d, %d), Image.BOX); "
             "best = min(best, time.perf_counter() - t)\n"
             "open('%s', 'wb').write(r.tobytes()); print(best)\n",
             ppm.c_str(), kRuns, c.dw, c.dh, out.c_str());
    const std::string path = out + ".py";
    FILE* f = fopen(path.c_str(), "w");
    fputs(script, f);
    fclose(f);
    return CommandSeconds("/usr/bin/python3 " + path);
}

double MagickSeconds(const std::string& ppm, const Case& c) {
    const std::string mpc = ppm + ".mpc";
    RunCommand("convert " + ppm + " " + mpc);
    const std::string base = "convert -limit thread 1 " + mpc;
    const std::string scale = " -scale " + std::to_string(c.dw) + "x" + std::to_string(c.dh) + "!";
    double readOnly = 1e9, withScale = 1e9;
    for (int i = 0; i < 3; ++i) {
        readOnly = std::min(readOnly, RunCommand(base + " null:"));
        withScale = std::min(withScale, RunCommand(base + scale + " null:"));
    }
    return withScale - readOnly;
}

// Largest and mean difference of our target bytes from Pillow's (top-down RGB).
void CompareWithPillow(const std::vector<BYTE>& ours, const Case& c, const std::string& path, int* pMax,
                       double* pMean) {
    std::vector<BYTE> theirs(3 * (size_t)c.dw * c.dh);
    FILE* f = fopen(path.c_str(), "rb");
    const size_t got = f ? fread(theirs.data(), 1, theirs.size(), f) : 0;
    if (f)
        fclose(f);
    if (got != theirs.size()) {
        fprintf(stderr, "short Pillow output %s\n", path.c_str());
        exit(1);
    }
    int largest = 0;
    double total = 0;
    for (int y = 0; y < c.dh; ++y) {
        const BYTE* p = ours.data() + (size_t)(c.dh - 1 - y) * Dib24Stride(c.dw);
        const BYTE* q = theirs.data() + (size_t)y * 3 * c.dw;
        for (int x = 0; x < c.dw; ++x)
            for (int k = 0; k < 3; ++k) {
                const int d = abs(p[3 * x + 2 - k] - q[3 * x + k]);
                largest = std::max(largest, d);
                total += d;
            }
    }
    *pMax = largest;
    *pMean = total / theirs.size();
}
} // namespace

int main() {
    char dir[] = "/tmp/resample_bench.XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const Case cases[] = {{6000, 4000, 1024, 683}, {4000, 3000, 1333, 1000}, {1000, 750, 3000, 2250}};
    printf("%-24s %9s %9s %9s %12s %12s %14s\n", "case", "ours s", "Pillow s", "IM s", "ours/Pillow",
           "ours/IM", "vs Pillow max/mean");
    for (const Case& c : cases) {
        const std::vector<BYTE> src = MakeImage(c.sw, c.sh);
        std::vector<BYTE> dst(Dib24ImageBytes(c.dw, c.dh));
        const bool up = c.dw > c.sw || c.dh > c.sh;
        double ours = 1e9;
        for (int i = 0; i < kRuns; ++i) {
            const double start = Now();
            const bool done = up ? ScaleUp24(src.data(), c.sw, c.sh, dst.data(), c.dw, c.dh)
                                 : ScaleDown24(src.data(), c.sw, c.sh, dst.data(), c.dw, c.dh);
            ours = std::min(ours, Now() - start);
            if (!done)
                return 1;
        }
        const std::string stem = std::string(dir) + "/" + std::to_string(c.sw) + "x" + std::to_string(c.sh);
        const std::string ppm = stem + ".ppm", pillowOut = stem + ".pillow.rgb";
        WritePpm(ppm, src, c.sw, c.sh);
        const double pillow = PillowSeconds(ppm, c, pillowOut);
        const double magick = MagickSeconds(ppm, c);
        int largest;
        double mean;
        CompareWithPillow(dst, c, pillowOut, &largest, &mean);
        char name[64];
        snprintf(name, sizeof(name), "%dx%d -> %dx%d", c.sw, c.sh, c.dw, c.dh);
        printf("%-24s %9.4f %9.4f %9.4f %12.2f %12.2f %8d/%.2f\n", name, ours, pillow, magick, ours / pillow,
               ours / magick, largest, mean);
    }
    RunCommand(std::string("rm -rf ") + dir);
    return 0;
}
