#include "tests/support/GTest.h"
#include <windows.h>
#include "viewer/Zoom.h"

TEST(Zoom, LadderFromOne) {
    double z = 1.0;
    const double down[] = {0.5, 1.0 / 3, 0.25};
    for (double expected : down) {
        z = ZoomStepDown(z);
        EXPECT_DOUBLE_EQ(expected, z);
    }
    z = 1.0;
    EXPECT_EQ(2.0, z = ZoomStepUp(z));
    EXPECT_EQ(3.0, z = ZoomStepUp(z));
    // Back up the ladder from a quarter reaches 1 exactly.
    z = 0.25;
    for (int i = 0; i < 3; ++i)
        z = ZoomStepUp(z);
    EXPECT_DOUBLE_EQ(1.0, z);
}

TEST(Zoom, FactorsOffTheLadder) {
    const struct {
        double from;
        bool up;
        double to;
    } cases[] = {
        {1.5, false, 1.0},
        {1.5, true, 2.5},
        {2.5, false, 1.5},
        {0.75, true, 1.0},
        {0.75, false, 1 / (1 / 0.75 + 1)},
        {2.0, false, 1.0}, // 1 < z <= 2 steps down to 1
        {0.5, true, 1.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(c.to, c.up ? ZoomStepUp(c.from) : ZoomStepDown(c.from))
            << c.from << (c.up ? " up" : " down");
}

TEST(Zoom, FiftyPercentAtTwoIsExactlyOne) {
    EXPECT_EQ(1.0, 2.0 * (ClampPercentage(50) / 100.0));
}

TEST(Zoom, PercentagesAreClamped) {
    const struct {
        UINT typed, read;
    } cases[] = {{600, 500}, {3, 10}, {0, 10}, {150, 150}, {10, 10}, {500, 500}, {0xFFFFFFFF, 500}};
    for (const auto& c : cases)
        EXPECT_EQ(c.read, ClampPercentage(c.typed)) << c.typed;
}

TEST(Zoom, DisplaySizeTruncatesAndStaysInTheResamplersRange) {
    int d = -1;
    EXPECT_TRUE(DisplaySizeFor(1000, 1.0 / 3, &d));
    EXPECT_EQ(333, d);
    EXPECT_TRUE(DisplaySizeFor(750, 1.0 / 3, &d));
    EXPECT_EQ(250, d);
    EXPECT_TRUE(DisplaySizeFor(65535, 1.0, &d));
    EXPECT_FALSE(DisplaySizeFor(40000, 2.0, &d));      // above 65535
    EXPECT_FALSE(DisplaySizeFor(3, 0.25, &d));         // below one pixel
    EXPECT_FALSE(DisplaySizeFor(0x7FFFFFFF, 3.0, &d)); // would not even fit an int
    EXPECT_TRUE(DisplaySizeFor(100000, 1.0, &d));      // the original size needs no scaling
    EXPECT_EQ(100000, d);
    EXPECT_FALSE(ZoomUsable(30000, 10, 3.0));
    EXPECT_FALSE(ZoomUsable(10, 3, 0.25));
    EXPECT_TRUE(ZoomUsable(30000, 10, 2.0));
}

TEST(Zoom, FitToTheClientArea) {
    const struct {
        int w, h, cw, ch;
        int result;
        double zoom;
    } cases[] = {
        {1600, 1200, 800, 600, 1, 0.5},
        {1000, 500, 990, 700, 1, 0.5}, // the ladder, not 0.99
        {300, 200, 800, 600, 0, 1.0},
        {800, 200, 800, 600, 1, 1.0}, // fits one side exactly: kept, but rebuilt
        {20000, 20000, 800, 600, 1, 1.0 / 34},
        {1000000, 1, 800, 600, 1, 1.0}, // a step would leave less than a pixel
        {1600, 1200, 0, 0, 0, 1.0},     // minimised
    };
    for (const auto& c : cases) {
        double z = 1.0;
        EXPECT_EQ(c.result, FitZoom(&z, c.w, c.h, c.cw, c.ch)) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(c.zoom, z) << c.w << "x" << c.h;
    }
}

TEST(Scroll, RequestsForTheScrollCodes) {
    const struct {
        UINT code, pos;
        int request;
    } cases[] = {
        {SB_LINELEFT, 0, -101},       {SB_LINERIGHT, 0, 101},  {SB_PAGELEFT, 0, -102},
        {SB_PAGERIGHT, 0, 102},       {SB_THUMBTRACK, 37, 37}, {SB_THUMBTRACK, 0, 0},
        {SB_LEFT, 0, -103},           {SB_RIGHT, 0, 103},      {SB_THUMBPOSITION, 37, kNoScroll},
        {SB_ENDSCROLL, 0, kNoScroll},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.request, ScrollRequestForCode(c.code, c.pos)) << c.code;
}

TEST(Scroll, RequestTable) {
    // Display 1000 in a client of 300: excess 700.
    const struct {
        int offset, request, line;
        int newOffset, pos;
    } cases[] = {
        {100, 0, 8, 100, 14},    {0, 50, 8, 350, 50},      {0, -50, 8, 0, 0},      {100, 101, 8, 108, 15},
        {100, 101, 4, 104, 14},  {100, -101, 8, 92, 13},   {100, 102, 8, 400, 57}, {100, -102, 8, 0, 0},
        {100, 103, 8, 700, 100}, {100, -103, 8, 0, 0},     {100, 104, 8, 100, 14}, {695, 101, 8, 700, 100},
        {0, 100, 8, 700, 100},   {0, 0x7FFFFFFF, 8, 0, 0},
    };
    for (const auto& c : cases) {
        ScrollAxis a = ScrollOneAxis(1000, 300, c.offset, c.request, c.line);
        EXPECT_TRUE(a.bShown);
        EXPECT_EQ(c.newOffset, a.nOffset) << c.offset << " " << c.request;
        EXPECT_EQ(c.pos, a.nPos) << c.offset << " " << c.request;
    }
}

TEST(Scroll, ThumbHalfwayOverOnePixelStaysAtZero) {
    ScrollAxis a = ScrollOneAxis(301, 300, 0, 50, 8);
    EXPECT_EQ(0, a.nOffset);
    EXPECT_EQ(0, a.nPos);
    EXPECT_TRUE(a.bShown);
}

TEST(Scroll, ImageThatFitsHidesTheBar) {
    ScrollAxis a = ScrollOneAxis(300, 300, 50, 103, 8);
    EXPECT_FALSE(a.bShown);
    EXPECT_EQ(0, a.nOffset);
    EXPECT_EQ(0, a.nPos);
}
