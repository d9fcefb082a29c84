#include "tests/support/GTest.h"
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
#include "convert/Globals.h"
#include "convert/FormatTable.h"
#include "convert/SaveDialog.h"

// The capture the clipboard button hands over; the tray's capture code owns it in
// the program.

namespace {

std::function<void(HWND)> s_action;

BOOL CALLBACK FindFileDialog(HWND hwnd, LPARAM lParam) {
    if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, cmb1) && GetDlgItem(hwnd, edt1)) {
        *(HWND*)lParam = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Runs inside the dialog's own message loop once the dialog is up.
VOID CALLBACK DriveDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindFileDialog, (LPARAM)&dialog);
    if (!dialog)
        return;
    KillTimer(nullptr, id);
    s_action(dialog);
}

// Opens the real save dialog the way every caller does and lets action drive it.
BOOL RunSaveDialog(const char* name, bool forCapture, const std::function<void(HWND)>& action) {
    BuildFilterString(g_szSaveFilter, SaveFilterTable);
    InitSaveRecord();
    GetTempPathA(kPathSize, g_szLastSaveDir);
    lstrcpynA(g_szTargetPath, name, kPathSize);
    g_ofnSave.hwndOwner = nullptr;
    g_ofnSave.hInstance = GetModuleHandleA(nullptr);
    g_ofnSave.lpTemplateName = MAKEINTRESOURCEA(kSaveDialogTemplate);
    g_ofnSave.lpfnHook = SaveDialogHook;
    g_ofnSave.lpstrTitle = "Save Test";
    g_ofnSave.nFilterIndex = SaveFilterIndexForName(name);
    g_bSaveForCapture = forCapture;
    s_action = action;
    SetTimer(nullptr, 0, 20, DriveDialog);
    return GetSaveFileNameA(&g_ofnSave);
}

void Cancel(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// What a user's pick in the type list sends.
void SelectType(HWND dialog, int index) {
    HWND types = GetDlgItem(dialog, cmb1);
    SendMessageA(types, CB_SETCURSEL, index - 1, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE), (LPARAM)types);
}

// Lets the dialog finish what the last message started.
void Settle() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string NameField(HWND dialog) {
    char text[512] = "";
    GetDlgItemTextA(dialog, edt1, text, sizeof text);
    return text;
}

struct TypeChangeCase {
    std::string name;
    int typeIndex; // of SaveFilterTable
    std::string expected;
};

TEST(SaveDialog, TypeChangeRewritesTheExtension) {
    const std::string longName(252, 'n');
    const TypeChangeCase cases[] = {
        {"capture.png", 2, "capture.jpg"},
        {"shot", 6, "shot.tif"},
        {"my.shot.png", 3, "my.shot.bmp"},
        {"C:\\a.b\\shot", 4, "C:\\a.tga"},
        {"picture.jpg", 1, "picture.png"},
        {"picture.jpg", 5, "picture.psd"},
        {"picture.jpg", 7, "picture.gif"},
        {"picture.jpg", 8, "picture.ppm"},
        {"picture.jpg", 9, "picture.sgi"},
        {"picture.jpg", 10, "picture.pcx"},
        // No room for the extension: the name stays as it is.
        {longName, 2, longName},
        {longName.substr(0, 251), 2, longName.substr(0, 251) + ".jpg"},
    };
    // One dialog for all cases, as a user would try one type after another.
    std::vector<std::string> seen;
    RunSaveDialog("Image1.png", false, [&](HWND dialog) {
        for (const TypeChangeCase& c : cases) {
            SetDlgItemTextA(dialog, edt1, c.name.c_str());
            SelectType(dialog, c.typeIndex);
            Settle();
            seen.push_back(NameField(dialog));
        }
        Cancel(dialog);
    });
    ASSERT_EQ(sizeof cases / sizeof cases[0], seen.size());
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(cases[i].expected, seen[i]) << cases[i].name << " -> type " << cases[i].typeIndex;
}

TEST(SaveDialog, OkReturnsTheTypedPath) {
    char path[kPathSize];
    GetTempPathA(kPathSize, path);
    strcat(path, "kestrel-save-test.png");
    DeleteFileA(path);
    BOOL ok = RunSaveDialog("Image1.png", false, [&](HWND dialog) {
        SetDlgItemTextA(dialog, edt1, path);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
    });
    EXPECT_TRUE(ok);
    EXPECT_STREQ(path, g_szTargetPath);
}

const int kCaptureControls[] = {IDC_SAVE_TO_CLIPBOARD, IDC_DEPTH_2_COLORS, IDC_DEPTH_16_COLORS,
                                IDC_DEPTH_256_COLORS, IDC_DEPTH_24_BIT};

TEST(SaveDialog, CaptureControlsShowOnlyForACaptureAndTheDialogIsWider) {
    for (bool forCapture : {false, true}) {
        SCOPED_TRACE(forCapture ? "capture" : "other caller");
        int clientWidth = 0;
        RECT template_ = {0, 0, 265, 153};
        RunSaveDialog("Image1.png", forCapture, [&](HWND dialog) {
            for (int id : kCaptureControls)
                EXPECT_EQ(forCapture, IsWindowVisible(GetDlgItem(dialog, id)) != FALSE) << "control " << id;
            RECT rc;
            GetClientRect(dialog, &rc);
            clientWidth = rc.right;
            MapDialogRect(dialog, &template_);
            Cancel(dialog);
        });
        EXPECT_EQ(template_.right + 8, clientWidth);
    }
}

int CheckedDepthButton(HWND dialog) {
    int checked = 0;
    for (int id = IDC_DEPTH_2_COLORS; id <= IDC_DEPTH_24_BIT; ++id)
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED)
            checked = checked ? -1 : id; // -1: more than one
    return checked;
}

TEST(SaveDialog, DepthButtonsStartFromTheCaptureDepth) {
    const struct {
        WORD depth;
        int button;
    } cases[] = {{1, IDC_DEPTH_2_COLORS}, {4, IDC_DEPTH_16_COLORS}, {8, IDC_DEPTH_256_COLORS},
                 {24, IDC_DEPTH_24_BIT},  {16, IDC_DEPTH_24_BIT},   {32, IDC_DEPTH_24_BIT}};
    for (const auto& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        g_nCaptureDepth = c.depth;
        int checked = 0;
        RunSaveDialog("Image1.png", true, [&](HWND dialog) {
            checked = CheckedDepthButton(dialog);
            Cancel(dialog);
        });
        EXPECT_EQ(c.button, checked);
        EXPECT_EQ(c.depth, g_nCaptureDepth); // opening alone changes nothing
    }
}

TEST(SaveDialog, ClickedDepthButtonIsRecordedEvenWhenCancelled) {
    const struct {
        int button;
        WORD depth;
    } cases[] = {
        {IDC_DEPTH_256_COLORS, 8}, {IDC_DEPTH_2_COLORS, 1}, {IDC_DEPTH_16_COLORS, 4}, {IDC_DEPTH_24_BIT, 24}};
    g_nCaptureDepth = 24;
    std::vector<int> checked;
    std::vector<WORD> recorded;
    BOOL ok = RunSaveDialog("Image1.png", true, [&](HWND dialog) {
        for (const auto& c : cases) {
            SendDlgItemMessageA(dialog, c.button, BM_CLICK, 0, 0);
            checked.push_back(CheckedDepthButton(dialog));
            recorded.push_back(g_nCaptureDepth);
        }
        SendDlgItemMessageA(dialog, IDC_DEPTH_256_COLORS, BM_CLICK, 0, 0);
        Cancel(dialog);
    });
    EXPECT_FALSE(ok);
    ASSERT_EQ(sizeof cases / sizeof cases[0], checked.size());
    for (size_t i = 0; i < checked.size(); ++i) {
        EXPECT_EQ(cases[i].button, checked[i]);
        EXPECT_EQ(cases[i].depth, recorded[i]);
    }
    EXPECT_EQ(8, g_nCaptureDepth); // the last click stays after a cancel
}

// A 3 x 2 capture with a distinct colour in every pixel.
const COLORREF kCapturePixels[2][3] = {{RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)},
                                       {RGB(10, 20, 30), RGB(200, 100, 50), RGB(255, 255, 255)}};

HBITMAP MakeCapture() {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 3, 2);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            SetPixel(dc, x, y, kCapturePixels[y][x]);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

void PutTextOnClipboard() {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 6);
    memcpy(GlobalLock(text), "hello", 6);
    GlobalUnlock(text);
    SetClipboardData(CF_TEXT, text);
    CloseClipboard();
}

TEST(SaveDialog, ClipboardButtonPutsTheCaptureThereAndClosesTheDialog) {
    g_hCaptureBitmap = MakeCapture();
    PutTextOnClipboard();
    BOOL ok = RunSaveDialog("Image1.png", true, [](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_SAVE_TO_CLIPBOARD, BM_CLICK, 0, 0);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(0u, CommDlgExtendedError());

    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_PALETTE));
    HBITMAP bitmap = (HBITMAP)GetClipboardData(CF_BITMAP);
    ASSERT_TRUE(bitmap);
    BITMAP info;
    ASSERT_TRUE(GetObjectA(bitmap, sizeof info, &info));
    EXPECT_EQ(3, info.bmWidth);
    EXPECT_EQ(2, info.bmHeight);

    HGLOBAL block = GetClipboardData(CF_DIB);
    ASSERT_TRUE(block);
    auto* header = (const BITMAPINFOHEADER*)GlobalLock(block);
    ASSERT_TRUE(header);
    EXPECT_EQ(40u, header->biSize);
    EXPECT_EQ(3, header->biWidth);
    EXPECT_EQ(2, header->biHeight);
    ASSERT_EQ(24, header->biBitCount);
    ASSERT_GE(GlobalSize(block), 40u + 2 * 12);
    const BYTE* rows = (const BYTE*)(header + 1);
    for (int y = 0; y < 2; ++y) {
        const BYTE* row = rows + (1 - y) * 12; // bottom-up rows of 9 bytes padded to 12
        for (int x = 0; x < 3; ++x) {
            COLORREF expected = kCapturePixels[y][x];
            EXPECT_EQ(RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]), expected) << x << "," << y;
        }
    }
    GlobalUnlock(block);
    CloseClipboard();
    DeleteObject(g_hCaptureBitmap);
    g_hCaptureBitmap = nullptr;
}

TEST(SaveDialog, ClipboardButtonWithoutACaptureOnlyEmptiesTheClipboard) {
    g_hCaptureBitmap = nullptr;
    PutTextOnClipboard();
    BOOL ok = RunSaveDialog("Image1.png", true, [](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_SAVE_TO_CLIPBOARD, BM_CLICK, 0, 0);
    });
    EXPECT_FALSE(ok);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_EQ(0, CountClipboardFormats());
    CloseClipboard();
}

} // namespace
