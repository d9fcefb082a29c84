// The viewer's zoom commands; the arithmetic is in ZoomMath.cpp.
#include "viewer/ImageDlg.h"
#include <commctrl.h>
#include <new>
#include "imaging/Resample.h"
#include "viewer/ScaleDlg.h"
#include "viewer/Zoom.h"

namespace {
void DeleteBitmap(HBITMAP* phBitmap) {
    if (*phBitmap) {
        DeleteObject(*phBitmap);
        *phBitmap = nullptr;
    }
}
} // namespace

void CImageDlg::RebuildScaledBitmap() {
    int w = m_nDisplayWidth, h = m_nDisplayHeight;
    bool usable = DisplaySizeFor(m_nImageWidth, m_dZoom, &w) && DisplaySizeFor(m_nImageHeight, m_dZoom, &h);
    if (usable) {
        m_nDisplayWidth = w;
        m_nDisplayHeight = h;
    }
    DeleteBitmap(&m_hScaledBitmap);
    // The factor 1.0 on an image beyond the resampler's sizes needs no scaled copy.
    if (!usable || !m_hBitmap || w > kMaxDisplaySize || h > kMaxDisplaySize)
        return;
    try {
        m_hScaledBitmap = ScaleBitmap(m_hBitmap, w, h);
        if (!m_hScaledBitmap && GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
            OutOfMemory();
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    }
}

int CImageDlg::FitToWindow() {
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    if (!FitZoom(&m_dZoom, m_nImageWidth, m_nImageHeight, rc.right - rc.left, rc.bottom - rc.top))
        return 0;
    RebuildScaledBitmap();
    return 1;
}

void CImageDlg::AskScaleFactor(double* pdFactor) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    CScaleDlg dlg;
    if (dlg.DoModal() == IDOK)
        *pdFactor = dlg.m_dFactor;
}

// Takes a ladder step unless it would leave the sizes the resampler takes (less
// than a pixel, or beyond 65535 pixels); true when taken.
bool CImageDlg::StepZoomTo(double dZoom) {
    if (!m_hBitmap || !ZoomUsable(m_nImageWidth, m_nImageHeight, dZoom))
        return false;
    m_dZoom = dZoom;
    if (m_dZoom == 1.0) {
        SetDisplayToImage();
        DeleteBitmap(&m_hScaledBitmap);
    } else {
        RebuildScaledBitmap();
    }
    return true;
}

void CImageDlg::OnSmaller() {
    if (StepZoomTo(ZoomStepDown(m_dZoom)))
        EraseAndRedraw();
}

void CImageDlg::OnLarger() {
    if (StepZoomTo(ZoomStepUp(m_dZoom)))
        DrawImage(0, 0, nullptr);
}

void CImageDlg::OnOriginal() {
    if (m_dZoom == 1.0)
        return;
    SetDisplayToImage();
    m_dZoom = 1.0;
    DeleteBitmap(&m_hScaledBitmap);
    EraseAndRedraw();
}

void CImageDlg::OnPercentage() {
    double f = 1.0;
    AskScaleFactor(&f);
    if (f == 1.0 || !m_hBitmap)
        return;
    if (!ZoomUsable(m_nImageWidth, m_nImageHeight, m_dZoom * f)) {
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    m_dZoom *= f;
    RebuildScaledBitmap();
    if (f < 1)
        EraseAndRedraw();
    else
        DrawImage(0, 0, nullptr);
}

void CImageDlg::OnFitToWindow() {
    if (FitToWindow() == 1)
        EraseAndRedraw();
}
