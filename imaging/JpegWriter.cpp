#include "imaging/JpegWriter.h"
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {
// The library reports fatal errors through error_exit, which by default ends the
// process; ours jumps back to the encoder instead.
struct SErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void ErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<SErrorJump*>(cinfo->err)->back, 1);
}

void Silent(j_common_ptr, int) {}

// The chrominance table of the JPEG standard (Annex K), which the library scales
// by quality; ours scales it on its own when full chroma must be coarser.
const unsigned int kChromaTable[DCTSIZE2] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                             24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                             99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                             99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// Full chroma may cost at most this much over the image as the image library
// writes it (4:2:0, the standard Huffman tables); past it the chroma is
// quantised more coarsely until it fits. A little under 1.5 leaves room for the
// headers the library adds.
const double kFullChromaGrowth = 1.48;

struct SEncoding {
    int quality;       // of the luma table
    int chromaQuality; // of the chroma table
    bool fullChroma;
    bool optimize; // Huffman tables made for the image
};

// The encoding proper. Kept free of objects with destructors: the error path
// leaves it by longjmp.
bool Encode(const SJpegPixels& image, const SEncoding& how, unsigned char** buffer, unsigned long* size) {
    jpeg_compress_struct cinfo;
    SErrorJump error;
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = ErrorExit;
    error.manager.emit_message = Silent;
    if (setjmp(error.back)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = (JDIMENSION)image.width;
    cinfo.image_height = (JDIMENSION)image.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = image.bgr ? JCS_EXT_BGR : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, how.quality, TRUE);
    if (how.chromaQuality != how.quality)
        jpeg_add_quant_table(&cinfo, 1, kChromaTable, jpeg_quality_scaling(how.chromaQuality), TRUE);
    cinfo.optimize_coding = how.optimize ? TRUE : FALSE;
    // Luma sampling: 1x1 keeps chroma at full resolution, 2x2 halves it both ways.
    const int luma = how.fullChroma ? 1 : 2;
    cinfo.comp_info[0].h_samp_factor = luma;
    cinfo.comp_info[0].v_samp_factor = luma;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.first + (std::ptrdiff_t)cinfo.next_scanline * image.stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// One encoding into a malloc'ed buffer that the caller frees; 0 on failure.
unsigned long EncodeToBuffer(const SJpegPixels& image, const SEncoding& how, unsigned char** buffer) {
    *buffer = nullptr;
    unsigned long size = 0;
    if (!Encode(image, how, buffer, &size)) {
        std::free(*buffer);
        *buffer = nullptr;
        return 0;
    }
    return size;
}

bool Keep(unsigned char* buffer, unsigned long size, std::vector<unsigned char>& jpeg) {
    try {
        jpeg.assign(buffer, buffer + size);
    } catch (...) {
        jpeg.clear();
    }
    std::free(buffer);
    return !jpeg.empty();
}
} // namespace

bool EncodeJpeg(const SJpegPixels& image, int quality, std::vector<unsigned char>& jpeg) {
    jpeg.clear();
    // JPEG's own limit on each side.
    if (!image.first || image.width <= 0 || image.height <= 0 || image.width > 65500 || image.height > 65500)
        return false;
    quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    if (quality < kJpegFullChromaQuality) {
        unsigned char* halved = nullptr;
        const unsigned long size = EncodeToBuffer(image, {quality, quality, false, true}, &halved);
        return size != 0 && Keep(halved, size, jpeg);
    }

    // Full chroma, within a bounded growth over the library's 4:2:0 file: images
    // whose colour is mostly fine detail (noise, dense coloured text) get a
    // coarser chroma table, found by halving the interval; should none fit, the
    // 4:2:0 file is the answer.
    unsigned char* reference = nullptr;
    const unsigned long referenceSize = EncodeToBuffer(image, {quality, quality, false, false}, &reference);
    std::free(reference);
    if (referenceSize == 0)
        return false;
    const unsigned long limit = (unsigned long)(referenceSize * kFullChromaGrowth);
    unsigned char* best = nullptr;
    unsigned long bestSize = 0;
    int low = 1, high = quality;
    for (int chroma = quality; low <= high; chroma = (low + high) / 2) {
        unsigned char* full = nullptr;
        const unsigned long size = EncodeToBuffer(image, {quality, chroma, true, true}, &full);
        if (size != 0 && size <= limit) {
            std::free(best);
            best = full;
            bestSize = size;
            low = chroma + 1;
            if (chroma == quality)
                break;
        } else {
            std::free(full);
            high = chroma - 1;
        }
    }
    if (!best) {
        const unsigned long size = EncodeToBuffer(image, {quality, quality, false, true}, &best);
        return size != 0 && Keep(best, size, jpeg);
    }
    return Keep(best, bestSize, jpeg);
}
