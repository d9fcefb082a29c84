#include "viewer/Zoom.h"
#include <climits>

double ZoomStepDown(double dZoom) {
    if (dZoom > 2)
        return dZoom - 1;
    if (dZoom > 1)
        return 1;
    return 1 / (1 / dZoom + 1);
}

double ZoomStepUp(double dZoom) {
    if (dZoom >= 1)
        return dZoom + 1;
    if (dZoom >= 0.5)
        return 1;
    return 1 / (1 / dZoom - 1);
}

bool DisplaySizeFor(int nImage, double dZoom, int* pnDisplay) {
    double size = (double)nImage * dZoom;
    if (dZoom == 1.0) {
        *pnDisplay = nImage;
        return true;
    }
    // Checked before the conversion: a value beyond int would not convert.
    if (!(size >= 1.0 && size < (double)kMaxDisplaySize + 1))
        return false;
    *pnDisplay = (int)size;
    return true;
}

bool ZoomUsable(int nImageWidth, int nImageHeight, double dZoom) {
    int w, h;
    return DisplaySizeFor(nImageWidth, dZoom, &w) && DisplaySizeFor(nImageHeight, dZoom, &h);
}

int FitZoom(double* pdZoom, int nImageWidth, int nImageHeight, int nClientWidth, int nClientHeight) {
    int w = 0, h = 0;
    if (!DisplaySizeFor(nImageWidth, *pdZoom, &w) || !DisplaySizeFor(nImageHeight, *pdZoom, &h))
        return 0;
    if (w < nClientWidth && h < nClientHeight)
        return 0;
    // A minimised window has no area to fit into.
    if (nClientWidth <= 0 || nClientHeight <= 0)
        return 0;
    while (w > nClientWidth || h > nClientHeight) {
        double next = ZoomStepDown(*pdZoom);
        int nw, nh;
        if (!DisplaySizeFor(nImageWidth, next, &nw) || !DisplaySizeFor(nImageHeight, next, &nh))
            break; // an image of extreme shape stops at its smallest usable size
        *pdZoom = next;
        w = nw;
        h = nh;
    }
    return 1;
}

UINT ClampPercentage(UINT nPercent) {
    if (nPercent > 500)
        return 500;
    if (nPercent < 10)
        return 10;
    return nPercent;
}

int ScrollRequestForCode(UINT nSBCode, UINT nPos) {
    switch (nSBCode) {
    case SB_LINEUP: // SB_LINELEFT
        return -kScrollLine;
    case SB_LINEDOWN: // SB_LINERIGHT
        return kScrollLine;
    case SB_PAGEUP: // SB_PAGELEFT
        return -kScrollPage;
    case SB_PAGEDOWN: // SB_PAGERIGHT
        return kScrollPage;
    case SB_THUMBTRACK:
        return (int)nPos;
    case SB_TOP: // SB_LEFT
        return -kScrollEnd;
    case SB_BOTTOM: // SB_RIGHT
        return kScrollEnd;
    default:
        return kNoScroll;
    }
}

ScrollAxis ScrollOneAxis(int nDisplay, int nClient, int nOffset, int nRequest, int nLine) {
    if (nDisplay <= nClient)
        return {0, 0, false};
    int excess = nDisplay - nClient;
    // 64 bits: an offset near the int limit plus a page must not wrap.
    long long offset = nOffset;
    if (nRequest >= -100 && nRequest <= 100 && nRequest != 0)
        offset = (long long)excess * nRequest / 100;
    else if (nRequest == kScrollLine)
        offset += nLine;
    else if (nRequest == -kScrollLine)
        offset -= nLine;
    else if (nRequest == kScrollPage)
        offset += nClient;
    else if (nRequest == -kScrollPage)
        offset -= nClient;
    else if (nRequest == kScrollEnd)
        offset = excess;
    else if (nRequest == -kScrollEnd)
        offset = 0;

    if (offset <= 0)
        return {0, 0, true};
    if (nDisplay - offset > nClient)
        return {(int)offset, (int)(offset * 100 / excess), true};
    return {excess, 100, true};
}
