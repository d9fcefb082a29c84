#include "imaging/IlutBridge.h"
#include <vector>
#include "imaging/DevIL.h"

HBITMAP ilutConvertToHBitmap(HDC hDC) {
    ILint width = ilGetInteger(IL_IMAGE_WIDTH);
    ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
    if (width <= 0 || height <= 0 || (size_t)width * (size_t)height > (size_t)0x7FFFFFFF / 4)
        return nullptr;

    // 32-bit rows need no padding; GDI ignores the fourth byte of a BI_RGB DIB.
    std::vector<BYTE> pixels((size_t)width * height * 4);
    if (!ilCopyPixels(0, 0, 0, width, height, 1, IL_BGRA, IL_UNSIGNED_BYTE, pixels.data()))
        return nullptr;

    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    // The library keeps rows in the order of the image's origin.
    bool topDown = ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_UPPER_LEFT;
    bmi.bmiHeader.biHeight = topDown ? -height : height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;

    HDC screen = hDC ? nullptr : GetDC(nullptr);
    HBITMAP bitmap =
        CreateDIBitmap(hDC ? hDC : screen, &bmi.bmiHeader, CBM_INIT, pixels.data(), &bmi, DIB_RGB_COLORS);
    if (screen)
        ReleaseDC(nullptr, screen);
    return bitmap;
}
