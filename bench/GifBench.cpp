// Our GIF writer and reader against giflib on a 4000x3000 image with 256 colours,
// and the peak memory of our writer and reader at 1000x1000 and 4000x3000, each
// measured in a fresh process of this program. A native program, not a test:
//   cmake -S bench -B build/bench -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target gif_bench
//   build/bench/gif_bench [--benchmark_repetitions=3 --benchmark_report_aggregates_only=true]
// It prints the time ratios ours / giflib (processor time) and the peak figures.
// Google Benchmark takes its Windows branch when _WIN32 is defined; the Windows
// types come from Wine's headers here, the library is the native one.
#pragma push_macro("_WIN32")
#pragma push_macro("WIN32")
#pragma push_macro("_WIN64")
#undef _WIN32
#undef WIN32
#undef _WIN64
#include <benchmark/benchmark.h>
#pragma pop_macro("_WIN32")
#pragma pop_macro("WIN32")
#pragma pop_macro("_WIN64")
#include "imaging/Exchange.h"
#include "framework/File.h"
#include "imaging/GifReader.h"
#include "imaging/GifWriter.h"
#include <gif_lib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// The exchange file on a real file, so that its bytes stay out of our memory.
CFile exchangeFile;

CFile::~CFile() {
    Close();
}
BOOL CFile::Open(LPCSTR name, UINT flags, CFileException*) {
    int mode = O_RDWR | ((flags & modeCreate) ? O_CREAT : 0) |
               ((flags & modeCreate) && !(flags & modeNoTruncate) ? O_TRUNC : 0);
    int fd = open(name, mode, 0644);
    if (fd < 0)
        return FALSE;
    m_hFile = (HANDLE)(intptr_t)(fd + 1);
    m_strFileName = name;
    return TRUE;
}
void CFile::Close() {
    if (IsOpen())
        close((int)(intptr_t)m_hFile - 1);
    m_hFile = INVALID_HANDLE_VALUE;
}
void CFile::ThrowLastError() const {
    throw CFileException(CFileException::genericException, errno, m_strFileName);
}
static int Fd(const CFile* f) {
    return (int)(intptr_t)f->m_hFile - 1;
}
UINT CFile::Read(void* buf, UINT count) {
    ssize_t n = read(Fd(this), buf, count);
    if (n < 0)
        ThrowLastError();
    return (UINT)n;
}
void CFile::Write(const void* buf, UINT count) {
    if (write(Fd(this), buf, count) != (ssize_t)count)
        ThrowLastError();
}
ULONGLONG CFile::Seek(LONGLONG off, UINT from) {
    off_t pos = lseek(Fd(this), off, from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END);
    if (pos < 0)
        ThrowLastError();
    return (ULONGLONG)pos;
}
void CFile::SetLength(ULONGLONG len) {
    if (ftruncate(Fd(this), (off_t)len) != 0)
        ThrowLastError();
    Seek((LONGLONG)len, begin);
}
ULONGLONG CFile::GetLength() const {
    struct stat st;
    fstat(Fd(this), &st);
    return (ULONGLONG)st.st_size;
}
ULONGLONG CFile::GetPosition() const {
    return (ULONGLONG)lseek(Fd(this), 0, SEEK_CUR);
}

FILE* HostFopen(const char* path, const char* mode) {
    return fopen(path, mode);
}
bool HostPathFor(const char* path, char* out, size_t outSize) {
    return snprintf(out, outSize, "%s", path) < (int)outSize;
}

namespace {

const int kWidth = 4000, kHeight = 3000;
std::string g_dir;

// Many colours in a photo-like mix: a gradient with some noise.
int PatternPixel(int x, int y) {
    uint32_t h = (uint32_t)x * 2654435761u ^ (uint32_t)y * 40503u;
    return (x / 16 + y / 12 + (int)((h >> 13) & 15)) & 255;
}

std::vector<BYTE> g_image; // kWidth x kHeight indices, for the timed runs
int ImagePixel(int x, int y) {
    return g_image[(size_t)y * kWidth + x];
}

BYTE g_palette[768];
void MakePalette() {
    for (int i = 0; i < 256; ++i) {
        g_palette[3 * i] = (BYTE)i;
        g_palette[3 * i + 1] = (BYTE)(255 - i);
        g_palette[3 * i + 2] = (BYTE)(i * 7);
    }
}

std::string Path(const char* name) {
    return g_dir + "/" + name;
}

// An 8-bit BMP written row by row, so that making it costs no memory.
void WriteBmp(const std::string& path, int width, int height) {
    FILE* f = fopen(path.c_str(), "wb");
    UINT stride = ((UINT)width + 3) & ~3u;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = 14 + 40 + 1024;
    fh.bfSize = fh.bfOffBits + stride * height;
    BITMAPINFOHEADER ih = {};
    ih.biSize = 40;
    ih.biWidth = width;
    ih.biHeight = height;
    ih.biPlanes = 1;
    ih.biBitCount = 8;
    ih.biSizeImage = stride * height;
    fwrite(&fh, 1, 14, f);
    fwrite(&ih, 1, 40, f);
    for (int i = 0; i < 256; ++i) {
        BYTE q[4] = {g_palette[3 * i + 2], g_palette[3 * i + 1], g_palette[3 * i], 0};
        fwrite(q, 1, 4, f);
    }
    std::vector<BYTE> row(stride, 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            row[x] = (BYTE)PatternPixel(x, y);
        fwrite(row.data(), 1, stride, f);
    }
    fclose(f);
}

void OpenExchange(const std::string& path, bool keep) {
    UINT flags = CFile::modeCreate | CFile::modeReadWrite | (keep ? CFile::modeNoTruncate : 0);
    if (!exchangeFile.Open(path.c_str(), flags))
        abort();
}

void OursEncode(benchmark::State& state) {
    for (auto _ : state)
        GifEncode(fopen(Path("ours.gif").c_str(), "wb"), kWidth, kHeight, 8, g_palette, ImagePixel);
}

void GiflibWrite(const std::string& path) {
    ColorMapObject* map = GifMakeMapObject(256, (const GifColorType*)g_palette);
    int error;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
    for (int y = 0; y < kHeight; ++y)
        EGifPutLine(gif, &g_image[(size_t)y * kWidth], kWidth);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
}

void GiflibEncode(benchmark::State& state) {
    for (auto _ : state)
        GiflibWrite(Path("giflib.gif"));
}

void OursDecode(benchmark::State& state) {
    for (auto _ : state) {
        OpenExchange(Path("ours.bmp"), false);
        FILE* in = fopen(Path("giflib.gif").c_str(), "rb");
        ReadGif(in, 1);
        fclose(in);
        exchangeFile.Close();
    }
}

// giflib decodes into a row and the row goes into a bottom-up BMP file, the same
// work as ours.
void GiflibDecode(benchmark::State& state) {
    std::vector<BYTE> row(kWidth);
    for (auto _ : state) {
        int error;
        GifFileType* gif = DGifOpenFileName(Path("giflib.gif").c_str(), &error);
        GifRecordType type;
        FILE* out = fopen(Path("giflib.bmp").c_str(), "wb");
        std::vector<BYTE> header(54 + 1024, 0);
        fwrite(header.data(), 1, header.size(), out);
        do {
            DGifGetRecordType(gif, &type);
            if (type == IMAGE_DESC_RECORD_TYPE) {
                DGifGetImageDesc(gif);
                for (int y = 0; y < gif->Image.Height; ++y) {
                    DGifGetLine(gif, row.data(), gif->Image.Width);
                    fseek(out, (long)header.size() + (long)(gif->Image.Height - 1 - y) * kWidth, SEEK_SET);
                    fwrite(row.data(), 1, kWidth, out);
                }
            } else if (type == EXTENSION_RECORD_TYPE) {
                int code;
                GifByteType* ext;
                DGifGetExtension(gif, &code, &ext);
                while (ext)
                    DGifGetExtensionNext(gif, &ext);
            }
        } while (type != TERMINATE_RECORD_TYPE);
        fclose(out);
        DGifCloseFile(gif, &error);
    }
}

// Remembers the processor time per iteration of each benchmark for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With --benchmark_repetitions the mean stands for the benchmark.
        for (const Run& run : runs)
            if (run.aggregate_name.empty() || run.aggregate_name == "mean")
                seconds[run.run_name.str()] = run.GetAdjustedCPUTime();
    }
};

long StatusKb(const char* field) {
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    size_t n = strlen(field);
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, field, n) == 0)
            kb = atol(line + n + 1);
    if (f)
        fclose(f);
    return kb;
}

// In a fresh process: the input is made on disk first, the peak resident size is
// reset, and what the operation adds to it is reported.
int MeasurePeak(const char* op, int width, int height) {
    MakePalette();
    std::string bmp = Path("peak.bmp"), gif = Path("peak.gif"), out = Path("peak-out.bmp");
    WriteBmp(bmp, width, height);
    if (strcmp(op, "read") == 0) {
        OpenExchange(bmp, true);
        WriteGifFromExchange(gif.c_str());
        exchangeFile.Close();
    }
    FILE* clear = fopen("/proc/self/clear_refs", "w");
    if (!clear || fputs("5", clear) < 0)
        return 2;
    fclose(clear);
    long before = StatusKb("VmRSS:");
    if (strcmp(op, "write") == 0) {
        OpenExchange(bmp, true);
        WriteGifFromExchange(gif.c_str());
    } else {
        OpenExchange(out, false);
        ReadGifToExchange(gif.c_str(), 1);
    }
    exchangeFile.Close();
    long peak = StatusKb("VmHWM:");
    printf("%-6s %5dx%-5d  resident before %6ld KiB, peak %6ld KiB, growth %5ld KiB\n", op, width, height,
           before, peak, peak - before);
    return 0;
}

void RunPeak(const char* self, const char* op, int width, int height) {
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        std::string w = std::to_string(width), h = std::to_string(height);
        execl(self, self, "--peak", op, w.c_str(), h.c_str(), g_dir.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status;
    waitpid(pid, &status, 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && strcmp(argv[1], "--peak") == 0) {
        g_dir = argv[5];
        return MeasurePeak(argv[2], atoi(argv[3]), atoi(argv[4]));
    }
    char dirTemplate[] = "/tmp/gif_bench.XXXXXX";
    g_dir = mkdtemp(dirTemplate);
    MakePalette();
    g_image.resize((size_t)kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            g_image[(size_t)y * kWidth + x] = (BYTE)PatternPixel(x, y);

    // Both decoders read the file giflib wrote.
    GiflibWrite(Path("giflib.gif"));
    GifEncode(fopen(Path("ours.gif").c_str(), "wb"), kWidth, kHeight, 8, g_palette, ImagePixel);

    benchmark::RegisterBenchmark("encode/ours", OursEncode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("encode/giflib", GiflibEncode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode/ours", OursDecode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode/giflib", GiflibDecode)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& s = reporter.seconds;
    if (s.count("encode/ours") && s.count("encode/giflib"))
        printf("encode 4000x3000: ours / giflib = %.2f\n", s["encode/ours"] / s["encode/giflib"]);
    if (s.count("decode/ours") && s.count("decode/giflib"))
        printf("decode 4000x3000: ours / giflib = %.2f\n", s["decode/ours"] / s["decode/giflib"]);
    struct stat st;
    if (stat(Path("ours.gif").c_str(), &st) == 0) {
        long ours = (long)st.st_size;
        stat(Path("giflib.gif").c_str(), &st);
        printf("file size: ours %ld bytes, giflib %ld bytes\n", ours, (long)st.st_size);
    }

    printf("\npeak memory (resident growth while the operation runs):\n");
    for (const char* op : {"write", "read"}) {
        RunPeak(argv[0], op, 1000, 1000);
        RunPeak(argv[0], op, 4000, 3000);
    }
    std::string cleanup = "rm -rf " + g_dir;
    return system(cleanup.c_str()) == 0 ? 0 : 1;
}
