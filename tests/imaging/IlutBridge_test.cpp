// Our ILUT printing over real GDI: the bound image drawn onto a memory DC stands
// in for a printer's page, so position, size and row order are seen exactly.
#include "tests/support/GTest.h"
#include <windows.h>
#include <string>
#include <vector>
#include "imaging/DevIL.h"
#include "imaging/IlutBridge.h"

namespace {

const int kWidth = 6, kHeight = 4;
const COLORREF kTopLeft = RGB(200, 20, 20), kTopRight = RGB(20, 160, 20), kBottomLeft = RGB(20, 20, 200),
               kBottomRight = RGB(30, 30, 30), kPaper = RGB(255, 255, 255);

COLORREF Quadrant(int x, int yFromTop) {
    if (yFromTop < kHeight / 2)
        return x < kWidth / 2 ? kTopLeft : kTopRight;
    return x < kWidth / 2 ? kBottomLeft : kBottomRight;
}

// A new bound library image of the quadrants, kept bottom row first.
ILuint MakeLowerLeftImage() {
    std::vector<ILubyte> rgb;
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            COLORREF c = Quadrant(x, kHeight - 1 - row);
            rgb.insert(rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ilTexImage(kWidth, kHeight, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, rgb.data());
    ilRegisterOrigin(IL_ORIGIN_LOWER_LEFT);
    return image;
}

// The same picture as the PNG decoder leaves it: top row first.
ILuint MakeUpperLeftImage() {
    ILuint source = MakeLowerLeftImage();
    std::vector<ILubyte> png(ilSaveL(IL_PNG, nullptr, 0));
    ILuint written = ilSaveL(IL_PNG, png.data(), (ILuint)png.size());
    ilDeleteImages(1, &source);
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ilLoadL(IL_PNG, png.data(), written);
    return image;
}

// A white 32-bit page of a memory DC.
struct Page {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    Page() {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO bmi = {};
        bmi.bmiHeader = {sizeof bmi.bmiHeader, 64, -64, 1, 32, BI_RGB};
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, 64, 64, WHITENESS);
    }
    ~Page() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

std::string Hex(COLORREF c) {
    char t[16];
    snprintf(t, sizeof t, "%06lX", (unsigned long)c);
    return t;
}

} // namespace

TEST(IlutWinPrint, DrawsTheImageUprightAtThePositionAndSizeGiven) {
    ilInit();
    const struct {
        const char* name;
        ILuint (*make)();
        ILint origin;
    } cases[] = {
        {"bottom row first", MakeLowerLeftImage, IL_ORIGIN_LOWER_LEFT},
        {"top row first", MakeUpperLeftImage, IL_ORIGIN_UPPER_LEFT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ILuint image = c.make();
        ASSERT_EQ(c.origin, ilGetInteger(IL_IMAGE_ORIGIN));
        Page page;
        // Doubled, 5 across and 3 down.
        const int x0 = 5, y0 = 3, w = 2 * kWidth, h = 2 * kHeight;
        EXPECT_TRUE(ilutWinPrint(x0, y0, w, h, page.dc));
        for (int y = y0 - 1; y <= y0 + h; ++y)
            for (int x = x0 - 1; x <= x0 + w; ++x) {
                bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
                COLORREF expected = inside ? Quadrant((x - x0) / 2, (y - y0) / 2) : kPaper;
                EXPECT_EQ(Hex(expected), Hex(GetPixel(page.dc, x, y))) << x << "," << y;
            }
        EXPECT_EQ(kWidth, ilGetInteger(IL_IMAGE_WIDTH)); // the bound image is left alone
        ilDeleteImages(1, &image);
    }
}

TEST(IlutWinPrint, FailsWhenThereIsNothingToDrawOrTheDeviceRefuses) {
    ilInit();
    ILuint image = MakeLowerLeftImage();
    Page page;
    EXPECT_FALSE(ilutWinPrint(0, 0, kWidth, kHeight, nullptr));
    EXPECT_FALSE(ilutWinPrint(0, 0, 0, kHeight, page.dc));
    HDC gone = CreateCompatibleDC(nullptr);
    DeleteDC(gone);
    EXPECT_FALSE(ilutWinPrint(0, 0, kWidth, kHeight, gone));
    ilDeleteImages(1, &image);
    EXPECT_EQ(Hex(kPaper), Hex(GetPixel(page.dc, 0, 0)));
}
