#include "imaging/LibraryJpeg.h"
#include <vector>
#include "framework/SafeSave.h"
#include "imaging/DevIL.h"
#include "imaging/JpegWriter.h"

bool WriteJpegFromLibraryImage(LPCSTR lpszPath, int nQuality) {
    const ILint width = ilGetInteger(IL_IMAGE_WIDTH);
    const ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
    if (width <= 0 || height <= 0 || (size_t)width * (size_t)height > (size_t)0x7FFFFFFF / 3)
        return false;
    std::vector<unsigned char> pixels;
    try {
        pixels.resize((size_t)width * height * 3);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!ilCopyPixels(0, 0, 0, width, height, 1, IL_BGR, IL_UNSIGNED_BYTE, pixels.data()))
        return false;
    // The library keeps rows in the order of the image's origin.
    const ptrdiff_t stride = (ptrdiff_t)width * 3;
    const bool topDown = ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_UPPER_LEFT;
    const SJpegPixels image = {topDown ? pixels.data() : pixels.data() + (height - 1) * stride, width, height,
                               topDown ? stride : -stride, true};
    std::vector<unsigned char> jpeg;
    return EncodeJpeg(image, nQuality, jpeg) && CSafeSave::WriteBytes(lpszPath, jpeg.data(), jpeg.size());
}
