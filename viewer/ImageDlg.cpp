#include "viewer/ImageDlg.h"
#include <shellapi.h>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>
#include "convert/ConvertEngine.h"
#include "convert/FormatTable.h"
#include "convert/Globals.h"
#include "convert/Settings.h"
#include "framework/AboutDlg.h"
#include "framework/File.h"
#include "framework/Gdi.h"
#include "framework/HelpFile.h"
#include "framework/HostPath.h"
#include "framework/WinApp.h"
#include "imaging/Bmp.h"
#include "imaging/Dib.h"
#include "imaging/Exchange.h"
#include "imaging/GifReader.h"
#include "imaging/IlutBridge.h"
#include "resources/resource.h"
#include "viewer/Zoom.h"

namespace {
const UINT_PTR kCloseTimer = 1;
const UINT kCloseDelay = 50;
// Host paths can be longer than the DOS form (the prefix's own folder).
const size_t kHostPathSize = 4 * kPathSize;
const DWORD kBmpHeadersSize = 14 + 40;
const unsigned long long kMaxBitmapBytes = 1ull << 30;

bool EndsWithIgnoringCase(const char* path, const char* ending) {
    size_t n = strlen(path), k = strlen(ending);
    return lstrcmpiA(n < k ? path : path + n - k, ending) == 0;
}

bool IsViewableName(const char* path) {
    for (int i = 0; ViewableExtensions[i][0]; ++i)
        if (EndsWithIgnoringCase(path, ViewableExtensions[i]))
            return true;
    return false;
}

HACCEL s_hViewerKeys = nullptr;
} // namespace

ViewStaging StageViewedFile(const char* path, WORD* sourceBits) {
    try {
        exchangeFile.SetLength(0);
        exchangeFile.SeekToBegin();
        if (IsGifName(path)) {
            int status = ReadGifToExchange(path, 1);
            exchangeFile.SeekToBegin();
            if (status == kGifReadOk)
                return kViewStaged;
            EmptyExchange();
            return status == kGifReadCannotOpen ? kViewCannotOpen : kViewDamagedGif;
        }
        switch (StageUserBmp(path, sourceBits)) {
        case kBmpStaged:
            return kViewStaged;
        case kBmpCannotOpen:
            EmptyExchange();
            return kViewCannotOpen;
        default:
            break;
        }
    } catch (CFileException) {
    }
    EmptyExchange();
    return kViewRefused;
}

BEGIN_MESSAGE_MAP(CImageDlg, CDialog)
    ON_WM_PAINT()
    ON_COMMAND(ID_FILE_CONVERT, OnConvert)
    ON_COMMAND(ID_FILE_PRINT_IMAGE, OnPrint)
    ON_COMMAND(ID_RESIZE_ORIGINAL, OnOriginal)
    ON_COMMAND(ID_RESIZE_SMALLER, OnSmaller)
    ON_COMMAND(ID_RESIZE_LARGER, OnLarger)
    ON_WM_TIMER()
    ON_WM_DESTROY()
    ON_WM_HSCROLL()
    ON_WM_VSCROLL()
    ON_WM_SYSCOMMAND()
    ON_WM_DROPFILES()
    ON_COMMAND(ID_FILE_PROPERTIES, OnProperties)
    ON_COMMAND(ID_HELP_CONTENTS, OnHelpContents)
    ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
    ON_COMMAND(ID_FILE_SAVE_RESIZED, OnSaveResized)
    ON_COMMAND(ID_RESIZE_PERCENTAGE, OnPercentage)
    ON_COMMAND(ID_ENTER_KEY, OnEnterKey)
    ON_COMMAND(ID_COPY_IMAGE, OnCopyImage)
    ON_COMMAND(ID_RESIZE_FIT, OnFitToWindow)
END_MESSAGE_MAP()

CImageDlg::CImageDlg()
    : CDialog(kImageDlgTemplate), m_hBitmap(nullptr), m_hScaledBitmap(nullptr), m_nImageWidth(0),
      m_nImageHeight(0), m_nImageDepth(0), m_nBitsPerPixel(0), m_nHScrollPos(0), m_nVScrollPos(0),
      m_nXOffset(0), m_nYOffset(0), m_nDisplayWidth(0), m_nDisplayHeight(0), m_dZoom(1.0), m_nImageName(0) {
    m_szFileName[0] = '\0';
}

CImageDlg::~CImageDlg() = default;

BOOL CImageDlg::OnInitDialog() {
    ilInit();
    iluInit();
    ilutInit();
    ilSetInteger(IL_JPG_QUALITY, g_nJpegQuality);
    ilSetInteger(IL_PNG_INTERLACE, g_nPngInterlace);

    m_hBitmap = m_hScaledBitmap = nullptr;
    m_nImageWidth = m_nImageHeight = m_nImageDepth = 0;
    m_nHScrollPos = m_nVScrollPos = m_nXOffset = m_nYOffset = 0;
    m_nDisplayWidth = m_nDisplayHeight = 0;
    m_dZoom = 1.0;

    CDialog::OnInitDialog();
    DragAcceptFiles(m_hWnd, TRUE);
    SetScrollRange(m_hWnd, SB_HORZ, 0, 100, TRUE);
    SetScrollRange(m_hWnd, SB_VERT, 0, 100, TRUE);

    HINSTANCE inst = AfxGetResourceHandle();
    HANDLE smallIcon = LoadImageA(inst, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 16, 16, 0);
    SendMessage(WM_SETICON, ICON_SMALL, (LPARAM)smallIcon);
    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)LoadIconA(inst, MAKEINTRESOURCEA(IDR_MAINFRAME)));

    ilGenImages(1, &m_nImageName);
    ilBindImage(m_nImageName);

    if (!IsViewableName(m_szFileName)) {
        MessageBoxA(m_hWnd, "File Error!", "Kestrel", MB_OK);
        CloseSoon();
        return TRUE;
    }
    if (!LoadImageFile())
        return TRUE;

    // Beyond 2^30 bytes of screen bitmap the conversion corrupts memory here (seen at
    // 20000 x 20000) instead of failing; 16000 x 16000 still works.
    ILint width = ilGetInteger(IL_IMAGE_WIDTH), height = ilGetInteger(IL_IMAGE_HEIGHT);
    if ((unsigned long long)width * (unsigned long long)height * 4 > kMaxBitmapBytes) {
        char text[128];
        snprintf(text, sizeof text, "This image is too large to show: %d x %d pixels.", width, height);
        MessageBoxA(m_hWnd, text, "Kestrel", MB_OK | MB_ICONEXCLAMATION);
        CloseSoon();
        return TRUE;
    }
    try {
        CClientDC dc(m_hWnd);
        m_hBitmap = ilutConvertToHBitmap(dc);
    } catch (const std::bad_alloc&) {
        m_hBitmap = nullptr;
    }
    if (!m_hBitmap) {
        OutOfMemory();
        return TRUE;
    }
    m_nImageWidth = ilGetInteger(IL_IMAGE_WIDTH);
    m_nImageHeight = ilGetInteger(IL_IMAGE_HEIGHT);
    SetDisplayToImage();

    char name[kPathSize] = "";
    SplitPath(m_szFileName, nullptr, name);
    if (AfxGetApp())
        RememberViewedFile(*AfxGetApp(), m_szFileName);
    char title[kPathSize + 32];
    snprintf(title, sizeof title, "%s - Kestrel Image Viewer", name);
    SetWindowTextA(m_hWnd, title);

    ShowWindow(g_nShowMaximized == 1 ? SW_MAXIMIZE : SW_SHOWNORMAL);
    FitToWindow();
    return TRUE;
}

// Our own reader for BMP and GIF, the library for the rest. False once the failure
// has been shown and the close is under way.
bool CImageDlg::LoadImageFile() {
    char host[kHostPathSize];
    bool loaded = false;
    if (!IsBmpName(m_szFileName) && !IsGifName(m_szFileName)) {
        loaded = HostPathFor(m_szFileName, host, sizeof host) && ilLoadImage(host);
        m_nBitsPerPixel = ilGetInteger(IL_IMAGE_BITS_PER_PIXEL);
    } else {
        ILenum refused = IL_NO_ERROR;
        try {
            BYTE headers[kBmpHeadersSize];
            UINT got = 0;
            WORD sourceBits = 0;
            ViewStaging staging = StageViewedFile(m_szFileName, &sourceBits);
            if (staging == kViewDamagedGif) {
                // The GIF reader's failure gets the codecs' own box.
                ReportCodecFailure();
                CloseSoon();
                return false;
            }
            if (staging == kViewStaged) {
                got = exchangeFile.Read(headers, sizeof headers);
                exchangeFile.SeekToBegin();
            } else if (staging == kViewCannotOpen) {
                refused = IL_COULD_NOT_OPEN_FILE;
            }
            // Anything shorter than both headers, or not a BMP, is refused unread.
            if (refused == IL_NO_ERROR && (got < sizeof headers || headers[0] != 'B' || headers[1] != 'M'))
                refused = IL_INVALID_FILE_HEADER;
            if (refused == IL_NO_ERROR) {
                // The depth of the user's BMP (our decoder hands deeper files on at 24
                // bits), or of the BMP our GIF reader made.
                if (IsGifName(m_szFileName))
                    sourceBits = (WORD)(headers[28] | headers[29] << 8);
                m_nBitsPerPixel = sourceBits;
                if (sourceBits == 0 || sourceBits == 16)
                    m_nBitsPerPixel = 24;
                else if ((sourceBits == 4 || sourceBits == 8) && !RestageAtDepth(24))
                    refused = IL_INVALID_FILE_HEADER;
            }
        } catch (CFileException) {
            refused = IL_FILE_WRITE_ERROR;
        }
        if (refused != IL_NO_ERROR) {
            EmptyExchange();
            g_nLastImageError = (int)refused;
            ReportImageError(m_hWnd, refused);
            CloseSoon();
            return false;
        }
        CExchangeLoan loan;
        loaded = HostPathFor(g_szExchangePath, host, sizeof host) && ilLoad(IL_BMP, host);
    }

    ILenum error = ilGetError();
    // The library fails some loads without queuing an error.
    if (!loaded && error == IL_NO_ERROR)
        error = IL_COULD_NOT_OPEN_FILE;
    g_nLastImageError = (int)error;
    if (error != IL_NO_ERROR) {
        ReportImageError(m_hWnd, error);
        CloseSoon();
        return false;
    }
    return true;
}

void CImageDlg::CloseSoon() {
    SetTimer(m_hWnd, kCloseTimer, kCloseDelay, nullptr);
}

void CImageDlg::OutOfMemory() {
    MessageBoxA(m_hWnd, "There is not enough memory to show this image at this size.", "Kestrel",
                MB_OK | MB_ICONEXCLAMATION);
    CloseSoon();
}

void CImageDlg::SetDisplayToImage() {
    m_nDisplayWidth = m_nImageWidth;
    m_nDisplayHeight = m_nImageHeight;
}

void CImageDlg::EraseAndRedraw() {
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CImageDlg::DrawImage(int nHRequest, int nVRequest, HDC hDC) {
    if (!m_hBitmap || g_nLastImageError != 0 || m_nImageWidth == 0 || m_nImageHeight == 0)
        return;
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;

    ScrollAxis x = ScrollOneAxis(m_nDisplayWidth, w, m_nXOffset, nHRequest, 8);
    m_nXOffset = x.nOffset;
    m_nHScrollPos = x.nPos;
    ShowScrollBar(m_hWnd, SB_HORZ, x.bShown);
    if (x.bShown)
        SetScrollPos(m_hWnd, SB_HORZ, m_nHScrollPos, TRUE);
    ScrollAxis y = ScrollOneAxis(m_nDisplayHeight, h, m_nYOffset, nVRequest, 4);
    m_nYOffset = y.nOffset;
    m_nVScrollPos = y.nPos;
    ShowScrollBar(m_hWnd, SB_VERT, y.bShown);
    if (y.bShown)
        SetScrollPos(m_hWnd, SB_VERT, m_nVScrollPos, TRUE);

    int cw = m_nDisplayWidth - m_nXOffset < w ? m_nDisplayWidth - m_nXOffset : w;
    int ch = m_nDisplayHeight - m_nYOffset < h ? m_nDisplayHeight - m_nYOffset : h;
    HBITMAP shown = m_dZoom != 1.0 && m_hScaledBitmap ? m_hScaledBitmap : m_hBitmap;

    HDC own = hDC ? nullptr : GetDC(m_hWnd);
    HDC target = hDC ? hDC : own;
    {
        CCreatedDC memory(CreateCompatibleDC(target));
        CSelectObject select(memory, shown);
        BitBlt(target, 0, 0, cw, ch, memory, m_nXOffset, m_nYOffset, SRCCOPY);
    }
    if (own)
        ReleaseDC(m_hWnd, own);
}

void CImageDlg::OnPaint() {
    CPaintDC dc(m_hWnd);
    if (m_hBitmap && g_nLastImageError == 0 && m_nImageWidth != 0 && m_nImageHeight != 0)
        DrawImage(0, 0, dc);
}

void CImageDlg::OnHScroll(UINT nSBCode, UINT nPos, HWND) {
    int request = ScrollRequestForCode(nSBCode, nPos);
    if (request != kNoScroll)
        DrawImage(request, 0, nullptr);
    Default();
}

void CImageDlg::OnVScroll(UINT nSBCode, UINT nPos, HWND) {
    int request = ScrollRequestForCode(nSBCode, nPos);
    if (request != kNoScroll)
        DrawImage(0, request, nullptr);
    Default();
}

void CImageDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == SC_MAXIMIZE)
        DrawImage(0, 0, nullptr);
    Default();
}

void CImageDlg::OnDropFiles(HDROP hDropInfo) {
    char dropped[512] = "";
    UINT count = DragQueryFileA(hDropInfo, 0xFFFFFFFF, nullptr, 0);
    UINT length = count ? DragQueryFileA(hDropInfo, 0, dropped, sizeof dropped) : 0;
    DragFinish(hDropInfo);
    // Without a path the command line would start a tray copy instead.
    if (length == 0 || length >= sizeof dropped)
        return;
    StartViewerOn(dropped);
}

void StartViewerOn(const char* path) {
    // The program's own path (up to 256 bytes), a blank, the path unquoted.
    char module[256] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    std::vector<char> command(sizeof module + 1 + strlen(path) + 1);
    snprintf(command.data(), command.size(), "%s %s", module, path);
    WinExec(command.data(), g_nShowMaximized == 1 ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}

void CImageDlg::OnTimer(UINT_PTR nIDEvent) {
    Default();
    KillTimer(m_hWnd, nIDEvent);
    if (nIDEvent == kCloseTimer)
        OnCancel();
}

void CImageDlg::OnCancel() {
    EndDialog(IDCANCEL);
    DestroyWindow();
}

void CImageDlg::OnDestroy() {
    if (m_hScaledBitmap) {
        DeleteObject(m_hScaledBitmap);
        m_hScaledBitmap = nullptr;
    }
    if (m_hBitmap) {
        DeleteObject(m_hBitmap);
        m_hBitmap = nullptr;
    }
    if (m_nImageName) {
        ilDeleteImages(1, &m_nImageName);
        m_nImageName = 0;
    }
    Default();
}

BOOL CImageDlg::PreTranslateMessage(MSG* pMsg) {
    if (!s_hViewerKeys)
        s_hViewerKeys = LoadAcceleratorsA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_VIEWER_KEYS));
    if (s_hViewerKeys && TranslateAcceleratorA(m_hWnd, s_hViewerKeys, pMsg))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

void CImageDlg::OnHelpContents() {
    ShowHelpFile();
}

void CImageDlg::OnAppAbout() {
    CAboutDlg about;
    about.DoModal();
}
