// Feeds arbitrary bytes to the GIF reader, from memory, with a memory-backed
// exchange file: a read that succeeds must leave one complete BMP there, any other
// status an empty exchange file.
#include "imaging/GifReader.h"
#include "imaging/Exchange.h"
#include "framework/HostPath.h"
#include "tests/fuzz/MemoryFile.h"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

CFile exchangeFile;

// Only ReadGif is fuzzed; the path-based entry needs the platform.
FILE* HostFopen(const char*, const char*) {
    return nullptr;
}

namespace {

// Every image gets a pre-sized BMP in memory; inputs that might claim more than
// 65,536 pixels are passed over: pre-sizing bigger ones would take most of the
// time without reaching any code the smaller ones do not. Any 0x2C could
// start a descriptor, so all of them are checked.
bool MightClaimAHugeImage(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 9 <= size; ++i) {
        if (data[i] != 0x2C)
            continue;
        uint32_t width = data[i + 5] | (data[i + 6] << 8);
        uint32_t height = data[i + 7] | (data[i + 8] << 8);
        if ((uint64_t)width * height > (1u << 16))
            return true;
    }
    return false;
}

uint32_t Le32(const std::vector<BYTE>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t)b[at + 3] << 24);
}

void CheckBmp(const std::vector<BYTE>& bmp) {
    if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M')
        abort();
    uint32_t size = Le32(bmp, 2), offBits = Le32(bmp, 10), sizeImage = Le32(bmp, 34);
    if (size != bmp.size() || (uint64_t)offBits + sizeImage != size)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || MightClaimAHugeImage(data, size))
        return 0;
    MemoryFileLoad(exchangeFile, nullptr, 0);
    FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!stream)
        return 0;
    int status = ReadGif(stream, 1);
    if (status == kGifReadOk)
        CheckBmp(MemoryFileContents(exchangeFile));
    else if ((status != kGifReadFailed && status != kGifReadNoImage) ||
             !MemoryFileContents(exchangeFile).empty())
        abort();
    fclose(stream);
    return 0;
}
