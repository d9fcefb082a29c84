// The rubber band's drawing and the release of a replaced capture.
#include "tests/support/GTest.h"
#include <windows.h>
#include <vector>
#include "imaging/Dib.h"
#include "convert/SaveDialog.h"
#include "tray/Capture.h"

namespace {
const int kWidth = 160, kHeight = 120;

// A 32-bit bitmap filled with distinct pixels, selected into a memory DC.
class PatternSurface {
public:
    PatternSurface() {
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = kWidth;
        bmi.bmiHeader.biHeight = -kHeight;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        m_hBitmap =
            CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_pixels), nullptr, 0);
        for (int i = 0; i < kWidth * kHeight; ++i)
            m_pixels[i] = (DWORD)(i * 2654435761u) & 0xFFFFFF;
        m_hDC = CreateCompatibleDC(nullptr);
        m_old = SelectObject(m_hDC, m_hBitmap);
    }
    ~PatternSurface() {
        SelectObject(m_hDC, m_old);
        DeleteDC(m_hDC);
        DeleteObject(m_hBitmap);
    }
    std::vector<DWORD> Pixels() {
        GdiFlush();
        return std::vector<DWORD>(m_pixels, m_pixels + kWidth * kHeight);
    }
    // The colour of a pixel; the fourth byte is not part of it.
    DWORD At(const std::vector<DWORD>& p, int x, int y) { return p[y * kWidth + x] & 0xFFFFFF; }
    HDC m_hDC;

private:
    HBITMAP m_hBitmap;
    DWORD* m_pixels = nullptr;
    HGDIOBJ m_old;
};
} // namespace

// Drawing a band twice restores every pixel: the one operation draws and erases,
// also when the label is wider than the band or the band leaves the surface.
TEST(DrawRubberBand, SecondDrawRestoresTheSurface) {
    const RECT cases[] = {
        {10, 10, 150, 110}, {50, 20, 52, 100}, {20, 30, 140, 31}, {-20, -10, 30, 40}, {120, 90, 200, 150}};
    for (const RECT& rc : cases) {
        PatternSurface surface;
        std::vector<DWORD> before = surface.Pixels();
        DrawRubberBand(surface.m_hDC, rc);
        EXPECT_NE(before, surface.Pixels()) << rc.left << "," << rc.top;
        DrawRubberBand(surface.m_hDC, rc);
        EXPECT_EQ(before, surface.Pixels()) << rc.left << "," << rc.top;
    }
}

TEST(DrawRubberBand, EmptyRectangleDrawsNothing) {
    const RECT cases[] = {{40, 40, 40, 80}, {40, 40, 80, 40}, {80, 40, 40, 90}, {40, 90, 80, 40}};
    for (const RECT& rc : cases) {
        PatternSurface surface;
        std::vector<DWORD> before = surface.Pixels();
        DrawRubberBand(surface.m_hDC, rc);
        EXPECT_EQ(before, surface.Pixels());
    }
}

// The frame is inverted along its edges; far from the centred label the inside
// is untouched.
TEST(DrawRubberBand, InvertsTheFrameAndLeavesTheInside) {
    PatternSurface surface;
    std::vector<DWORD> before = surface.Pixels();
    DrawRubberBand(surface.m_hDC, RECT{10, 10, 150, 110});
    std::vector<DWORD> after = surface.Pixels();
    for (int x = 11; x < 148; ++x) {
        EXPECT_EQ(surface.At(after, x, 10), ~surface.At(before, x, 10) & 0xFFFFFF) << x;
        EXPECT_EQ(surface.At(after, x, 12), surface.At(before, x, 12)) << x;
    }
    for (int y = 11; y < 108; ++y) {
        EXPECT_EQ(surface.At(after, 149, y), ~surface.At(before, 149, y) & 0xFFFFFF) << y;
        EXPECT_EQ(surface.At(after, 20, y), surface.At(before, 20, y)) << y;
    }
}

// A new capture releases the bitmap and palette of the one it replaces.
TEST(SetCaptureImage, ReleasesWhatItReplaces) {
    HDC screen = GetDC(nullptr);
    HBITMAP first = CreateCompatibleBitmap(screen, 8, 8);
    HBITMAP second = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);

    SetCaptureImage(first);
    EXPECT_EQ(first, g_hCaptureBitmap);
    HPALETTE firstPalette = g_hScreenPalette;
    SetCaptureImage(second);
    EXPECT_EQ(second, g_hCaptureBitmap);
    EXPECT_EQ(0u, GetObjectType(first)) << "the replaced bitmap is deleted";
    if (firstPalette)
        EXPECT_EQ(0u, GetObjectType(firstPalette)) << "the replaced palette is deleted";

    SetCaptureImage(nullptr);
    EXPECT_EQ(nullptr, g_hCaptureBitmap);
    EXPECT_EQ(nullptr, g_hScreenPalette);
    EXPECT_EQ(0u, GetObjectType(second));
}
