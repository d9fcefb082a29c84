// The viewer's zoom and scroll arithmetic, apart from any window so that it is
// tested on numbers alone.
#pragma once
#include <windows.h>

// Display sizes the resampler takes: 1 to 65535 pixels on each axis.
const int kMaxDisplaySize = 65535;

// The ladder ..., 1/3, 1/2, 1, 2, 3, ...; factors off it step onto it.
double ZoomStepDown(double dZoom);
double ZoomStepUp(double dZoom);

// The image size times the factor, truncated toward zero. False when it lies outside
// 1..kMaxDisplaySize; the factor 1.0 is always allowed, the image needs no scaling.
bool DisplaySizeFor(int nImage, double dZoom, int* pnDisplay);
// Both axes at once: a factor is usable when both come out allowed.
bool ZoomUsable(int nImageWidth, int nImageHeight, double dZoom);

// Steps the factor down until the image fits the client area, never below a usable
// factor. 0 when it already fitted with room to spare (nothing changed), else 1.
int FitZoom(double* pdZoom, int nImageWidth, int nImageHeight, int nClientWidth, int nClientHeight);

// The percentage dialog's reading: 10..500.
UINT ClampPercentage(UINT nPercent);

// One axis of the scroll state after a scroll request.
struct ScrollAxis {
    int nOffset; // display pixels scrolled away
    int nPos;    // scroll bar position 0..100
    bool bShown; // the bar is needed
};

// Scroll requests: 1..100 / -1..-100 are thumb positions, 101 / -101 one line,
// 102 / -102 one page, 103 / -103 the end / the start.
const int kScrollLine = 101;
const int kScrollPage = 102;
const int kScrollEnd = 103;
// What a scroll bar code asks for; kNoScroll for codes that draw nothing.
const int kNoScroll = 0x7FFFFFFF;
int ScrollRequestForCode(UINT nSBCode, UINT nPos);

// Applies a request to one axis: nLine is 8 horizontally and 4 vertically, a page
// is the client size.
ScrollAxis ScrollOneAxis(int nDisplay, int nClient, int nOffset, int nRequest, int nLine);
