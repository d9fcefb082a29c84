// The image viewer: one image file in a resizable dialog, drawn at the top-left at
// the current zoom, scrolled with the window's own scroll bars. It never loads a
// second file: a dropped file opens in a new process.
#pragma once
#include <windows.h>
#include "framework/Dialog.h"
#include "framework/PathBuffer.h"
#include "imaging/DevIL.h"

const UINT kImageDlgTemplate = 134;

// Puts the viewed BMP or GIF file into the empty exchange file as one BMP of our
// own; for a BMP, sourceBits gets the file's own bit count. Anything but
// kViewStaged leaves the exchange file empty.
enum ViewStaging { kViewStaged, kViewCannotOpen, kViewRefused, kViewDamagedGif };
ViewStaging StageViewedFile(const char* path, WORD* sourceBits);

// A new viewer process on path, shown maximised when "max" says so.
void StartViewerOn(const char* path);

// The name the viewer's save dialog proposes: the viewed file's name with the type
// of the last saved file, when both have one. target holds kPathSize characters.
void ProposeViewerTarget(const char* viewedPath, char* target);

class CImageDlg : public CDialog {
public:
    CImageDlg();
    ~CImageDlg() override;

    HBITMAP m_hBitmap;       // the image at its original size
    HBITMAP m_hScaledBitmap; // the image at the current zoom, or none
    int m_nImageWidth;
    int m_nImageHeight;
    int m_nImageDepth;   // IL_IMAGE_DEPTH recorded before a library scaling
    int m_nBitsPerPixel; // colour depth recorded at load
    int m_nHScrollPos;   // scroll bar positions, 0..100
    int m_nVScrollPos;
    int m_nXOffset; // display pixels scrolled away
    int m_nYOffset;
    int m_nDisplayWidth; // the image size at the current zoom
    int m_nDisplayHeight;
    double m_dZoom;
    ILuint m_nImageName;
    char m_szFileName[kPathSize];

    // Applies one scroll request per axis (see viewer/Zoom.h), sets the scroll bars
    // and copies the visible part of the image to the window, through hDC or a DC of
    // the window's own when it is null.
    void DrawImage(int nHRequest, int nVRequest, HDC hDC);

    // Zoom (viewer/Zoom.cpp).
    void RebuildScaledBitmap();
    int FitToWindow();
    static void AskScaleFactor(double* pdFactor);

    BOOL OnInitDialog() override;
    void OnCancel() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

    void OnPaint();
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    void OnHScroll(UINT nSBCode, UINT nPos, HWND hScrollBar);
    void OnVScroll(UINT nSBCode, UINT nPos, HWND hScrollBar);
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnDropFiles(HDROP hDropInfo);
    void OnEnterKey() {}
    void OnSmaller();
    void OnLarger();
    void OnOriginal();
    void OnPercentage();
    void OnFitToWindow();
    void OnHelpContents();
    void OnAppAbout();
    // Commands on the viewed image (viewer/ViewerCommands.cpp).
    void OnConvert();
    void OnPrint(); // viewer/Print.cpp
    void OnProperties();
    void OnSaveResized();
    void OnCopyImage();

    DECLARE_MESSAGE_MAP()

private:
    // The save dialog for Save Resized and Convert, with the name proposed; the
    // choice is remembered and the viewed file becomes the source. False when
    // cancelled.
    bool AskTarget(const char* title);
    // A new viewer on g_szTargetPath, and this one ends.
    void OpenTargetAndEnd();
    bool LoadImageFile();
    bool StepZoomTo(double dZoom);
    // A message box, then the viewer closes 50 ms later.
    void FailAndClose(const char* text, const char* caption);
    void CloseSoon();
    void EraseAndRedraw();
    void SetDisplayToImage();
    // Tells that the bitmap could not be made and closes.
    void OutOfMemory();
};
