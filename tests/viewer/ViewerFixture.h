// The viewer opened in-process on real files, driven by the messages a user's keys
// and menus send; message boxes are answered with OK and remembered.
#pragma once
#include "tests/support/GTest.h"
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include "convert/ConvertEngine.h"
#include "convert/Globals.h"
#include "imaging/Bmp.h"
#include "imaging/Exchange.h"
#include "resources/resource.h"
#include "tests/imaging/DibTestSupport.h"
#include "tests/support/TestFiles.h"
#include "viewer/ImageDlg.h"
#include "viewer/ScaleDlg.h"

namespace {

// Answers every message box with OK, keeping its caption and text.
struct Boxes {
    static int count;
    static std::string caption, text;
    static BOOL CALLBACK FindText(HWND child, LPARAM) {
        char cls[32], t[512];
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, t, sizeof t) > 0)
            text = t;
        return TRUE;
    }
    static BOOL CALLBACK FindBox(HWND hwnd, LPARAM) {
        char cls[32], title[128];
        GetClassNameA(hwnd, cls, sizeof cls);
        GetWindowTextA(hwnd, title, sizeof title);
        // Not a dialog with a text field (the save dialog, the options) or one of ours.
        if (IsWindowVisible(hwnd) && strcmp(cls, "#32770") == 0 && GetDlgItem(hwnd, IDOK) &&
            !FindWindowExA(hwnd, nullptr, "Edit", nullptr) && !CWnd::FromHandle(hwnd)) {
            ++count;
            caption = title;
            EnumChildWindows(hwnd, FindText, 0);
            PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
            return FALSE;
        }
        return TRUE;
    }
    static VOID CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
    }
};
int Boxes::count = 0;
std::string Boxes::caption, Boxes::text;

CImageDlg* s_viewer = nullptr;
std::function<void(CImageDlg&)> s_drive;

// Runs once the viewer is up and shown, inside its modal loop.
VOID CALLBACK DriveViewer(HWND, UINT, UINT_PTR id, DWORD) {
    if (!s_viewer || !s_viewer->m_hWnd || !IsWindowVisible(s_viewer->m_hWnd))
        return;
    KillTimer(nullptr, id);
    s_drive(*s_viewer);
}

void Settle() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// A key as the keyboard delivers it to the viewer's loop, accelerators included.
void PressKey(CImageDlg& dlg, WORD vk) {
    PostMessageA(dlg.m_hWnd, WM_KEYDOWN, vk, 1);
    PostMessageA(dlg.m_hWnd, WM_KEYUP, vk, 0xC0000001);
}

class Viewer : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[kPathSize];
        GetTempPathA(sizeof temp, temp);
        m_dir = std::string(temp) + "kestrel-viewer-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(m_dir.c_str(), nullptr);
        snprintf(g_szExchangePath, kPathSize, "%skstmp0.bmp", m_dir.c_str());
        ASSERT_TRUE(OpenExchangeFileAt(g_szExchangePath));
        Boxes::count = 0;
        Boxes::caption.clear();
        Boxes::text.clear();
        m_boxTimer = SetTimer(nullptr, 0, 30, Boxes::Poll);
        g_nLastImageError = 0;
        g_nShowMaximized = 0;
    }
    void TearDown() override {
        KillTimer(nullptr, m_boxTimer);
        exchangeFile.Close();
        system(("rm -rf '" + testfiles::HostPath(m_dir) + "'").c_str());
    }

    std::string Path(const std::string& name) const { return m_dir + name; }

    // A BMP of our own writer; 16 and 32-bit ones are left black.
    std::string MakeBmp(const std::string& name, LONG w, LONG h, WORD bits) {
        LPBITMAPINFOHEADER dib;
        if (bits == 16 || bits == 32) {
            BITMAPINFOHEADER bi = {sizeof bi, w, h, 1, bits, BI_RGB};
            DWORD bytes = DibRowBytes(w, bits) * h;
            dib = static_cast<LPBITMAPINFOHEADER>(calloc(1, sizeof bi + bytes));
            *dib = bi;
        } else {
            std::vector<RGBQUAD> table(bits <= 8 ? 1 << bits : 0);
            for (size_t i = 0; i < table.size(); ++i)
                table[i] = {(BYTE)i, (BYTE)(255 - i), (BYTE)(i * 3), 0};
            DWORD colours = bits <= 8 ? 1u << bits : 0x1000000u;
            dib =
                MakeTestDib(w, h, bits, table, [&](LONG x, LONG y) { return (DWORD)(x * 7 + y) % colours; });
        }
        std::string path = Path(name);
        WriteBmpFile(dib, path.c_str());
        FreeDib(dib);
        return path;
    }

    std::string MakeBytes(const std::string& name, const std::string& bytes) {
        std::string path = Path(name);
        FILE* f = HostFopen(path.c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return path;
    }

    // Opens the viewer on path and lets drive look at it and close it.
    INT_PTR View(const std::string& path, const std::function<void(CImageDlg&)>& drive) {
        CImageDlg dlg;
        strcpy(dlg.m_szFileName, path.c_str());
        s_viewer = &dlg;
        s_drive = drive;
        UINT_PTR timer = SetTimer(nullptr, 0, 20, DriveViewer);
        INT_PTR result = dlg.DoModal();
        KillTimer(nullptr, timer);
        s_viewer = nullptr;
        m_exchangeLeft = exchangeFile.IsOpen() ? exchangeFile.GetLength() : 999;
        return result;
    }

    std::string m_dir;
    UINT_PTR m_boxTimer = 0;
    ULONGLONG m_exchangeLeft = 0;
};

std::string Title(HWND hwnd) {
    char t[512] = "";
    GetWindowTextA(hwnd, t, sizeof t);
    return t;
}

} // namespace

// Types s_typed into the percentage dialog once it is up and confirms it.
namespace {
std::string s_typed;
VOID CALLBACK TypeIntoScaleDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowA(nullptr, "Scale Image by Percentage");
    // Only this thread's: other cases run side by side on the display.
    if (!box || GetWindowThreadProcessId(box, nullptr) != GetCurrentThreadId())
        return;
    KillTimer(nullptr, id);
    SetDlgItemTextA(box, IDC_SCALE_PERCENT, s_typed.c_str());
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}
} // namespace
