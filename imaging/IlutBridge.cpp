#include "imaging/IlutBridge.h"
#include <new>
#include <vector>

namespace {
// The bound image's pixels as the rows of a 32-bit DIB described by bmi; false
// when there is no image or its size does not fit one block. 32-bit rows need no
// padding, and GDI ignores the fourth byte of a BI_RGB DIB.
bool BoundImageAsDib(std::vector<BYTE>& pixels, BITMAPINFO& bmi) {
    ILint width = ilGetInteger(IL_IMAGE_WIDTH);
    ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
    if (width <= 0 || height <= 0 || (size_t)width * (size_t)height > (size_t)0x7FFFFFFF / 4)
        return false;
    pixels.resize((size_t)width * height * 4);
    if (!ilCopyPixels(0, 0, 0, width, height, 1, IL_BGRA, IL_UNSIGNED_BYTE, pixels.data()))
        return false;

    bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    // The library keeps rows in the order of the image's origin.
    bool topDown = ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_UPPER_LEFT;
    bmi.bmiHeader.biHeight = topDown ? -height : height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    return true;
}
} // namespace

HBITMAP ilutConvertToHBitmap(HDC hDC) {
    std::vector<BYTE> pixels;
    BITMAPINFO bmi;
    if (!BoundImageAsDib(pixels, bmi))
        return nullptr;
    HDC screen = hDC ? nullptr : GetDC(nullptr);
    HBITMAP bitmap =
        CreateDIBitmap(hDC ? hDC : screen, &bmi.bmiHeader, CBM_INIT, pixels.data(), &bmi, DIB_RGB_COLORS);
    if (screen)
        ReleaseDC(nullptr, screen);
    return bitmap;
}

ILboolean ilutWinPrint(ILuint x, ILuint y, ILuint width, ILuint height, HDC hDC) {
    if (!hDC || width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return IL_FALSE;
    // A C interface: running out of memory is a failed print, not an exception.
    try {
        std::vector<BYTE> pixels;
        BITMAPINFO bmi;
        if (!BoundImageAsDib(pixels, bmi))
            return IL_FALSE;
        LONG sourceHeight = bmi.bmiHeader.biHeight < 0 ? -bmi.bmiHeader.biHeight : bmi.bmiHeader.biHeight;
        int lines = StretchDIBits(hDC, (int)x, (int)y, (int)width, (int)height, 0, 0, bmi.bmiHeader.biWidth,
                                  sourceHeight, pixels.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
        return lines != 0 && lines != (int)GDI_ERROR ? IL_TRUE : IL_FALSE;
    } catch (const std::bad_alloc&) {
        return IL_FALSE;
    }
}
