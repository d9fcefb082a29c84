#include "tests/support/GTest.h"
#include "tests/convert/ConversionTestSupport.h"
#include "tests/support/TestFiles.h"
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>
#include "convert/Globals.h"
#include "imaging/Exchange.h"
#include "convert/Settings.h"
#include "convert/ConvertEngine.h"
#include "convert/FileConversion.h"
#include "convert/FormatTable.h"
#include "convert/SaveDialog.h"
#include "framework/Afx.h"
#include "imaging/DevIL.h"
#include "tray/KestrelDlg.h"
#include "tray/Capture.h"

namespace {

// What a test does with each dialog, by its title; every dialog is answered once.
typedef std::function<void(HWND)> DialogAction;
std::map<std::string, DialogAction> s_actions;
std::vector<std::string> s_seen; // titles in the order they appeared
HWND s_lastDialog = nullptr;

BOOL CALLBACK AnswerDialog(HWND hwnd, LPARAM) {
    char title[128] = "";
    GetWindowTextA(hwnd, title, sizeof title);
    auto action = s_actions.find(title);
    if (hwnd == s_lastDialog || !IsWindowVisible(hwnd) || action == s_actions.end())
        return TRUE;
    s_lastDialog = hwnd;
    s_seen.push_back(title);
    action->second(hwnd);
    return FALSE;
}

VOID CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), AnswerDialog, 0);
}

// The file-name field: an edit combo in the new-style dialogs, an edit in ours.
HWND NameField(HWND dialog) {
    HWND field = GetDlgItem(dialog, cmb13);
    return field ? field : GetDlgItem(dialog, edt1);
}

std::string Text(HWND control) {
    char text[1024] = "";
    GetWindowTextA(control, text, sizeof text);
    return text;
}

int FilterEntry(HWND dialog) {
    return (int)SendDlgItemMessageA(dialog, cmb1, CB_GETCURSEL, 0, 0) + 1;
}

void Choose(HWND dialog, const std::string& name) {
    SetWindowTextA(NameField(dialog), name.c_str());
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
}

void Cancel(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDCANCEL));
}

using testfiles::HostPath;

using testfiles::ReadFileBytes;


bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool QuitPosted() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

class FileConversion : public ::testing::Test {
protected:
    void SetUp() override {
        m_app.m_strAppName = "ConvertTest" + std::to_string(GetCurrentProcessId());
        m_app.SetRegistryKey("KestrelTests");
        ilInit();
        iluInit();
        char temp[kPathSize];
        GetTempPathA(sizeof temp, temp);
        m_dir = std::string(temp) + "kfc" + std::to_string(GetCurrentProcessId());
        m_out = m_dir + "\\out";
        CreateDirectoryA(m_dir.c_str(), nullptr);
        CreateDirectoryA(m_out.c_str(), nullptr);
        snprintf(g_szExchangePath, kPathSize, "%s\\kstmp0.bmp", m_dir.c_str());
        ASSERT_TRUE(OpenExchangeFileAt(g_szExchangePath));
        PrepareConversionRecords(m_dir, m_out);
        g_bQuickMenu = FALSE;
        s_actions.clear();
        s_seen.clear();
        s_lastDialog = nullptr;
        s_actions["File Error!"] = [this](HWND box) {
            ++m_errorBoxes;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        };
        m_timer = SetTimer(nullptr, 0, 50, Poll);
    }
    void TearDown() override {
        KillTimer(nullptr, m_timer);
        exchangeFile.Close();
        system(("rm -rf '" + HostPath(m_dir) + "'").c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\KestrelTests\\" + m_app.m_strAppName).c_str());
    }

    std::string Setting(const char* key) { return m_app.GetProfileString(kSettingsSection, key, "<none>"); }

    std::string Make(const std::string& name, const char* magickArgs = "-size 32x24 gradient:red-blue",
                     const char* format = "") {
        std::string path = m_dir + "\\" + name;
        std::string command =
            std::string("/usr/bin/convert ") + magickArgs + " '" + format + HostPath(path) + "' 2>/dev/null";
        EXPECT_EQ(0, system(command.c_str())) << command;
        return path;
    }

    void MakeGarbage(const std::string& name) {
        FILE* f = HostFopen((m_dir + "\\" + name).c_str(), "wb");
        ASSERT_TRUE(f);
        for (int i = 0; i < 500; ++i)
            fputc(0x5A, f);
        fclose(f);
    }

    CWinApp m_app;
    std::string m_dir, m_out;
    UINT_PTR m_timer = 0;
    int m_errorBoxes = 0;
};

TEST_F(FileConversion, SingleFileProposesNamesConvertsAndRemembers) {
    std::string source = Make("holiday.jpg");
    std::string openName, saveName;
    int openEntry = 0, saveEntry = 0;
    s_actions["Convert Image File"] = [&](HWND dialog) {
        openName = Text(NameField(dialog));
        openEntry = FilterEntry(dialog);
        Choose(dialog, source);
    };
    s_actions["Convert File to:"] = [&](HWND dialog) {
        saveName = Text(NameField(dialog));
        saveEntry = FilterEntry(dialog);
        Choose(dialog, m_out + "\\holiday"); // no dot: becomes a PNG
    };
    ConvertImageFile(nullptr);

    EXPECT_EQ("Image1.png", openName);
    EXPECT_EQ(3, openEntry);
    EXPECT_EQ("holiday.png", saveName);
    EXPECT_EQ(1, saveEntry);
    EXPECT_EQ("PNG 32x24", Identify(m_out + "\\holiday.png"));
    EXPECT_EQ(0, m_errorBoxes);
    EXPECT_EQ("Image1.png", Setting("ofile"));
    EXPECT_EQ(m_dir, Setting("lastodir"));
    EXPECT_EQ(m_out, Setting("lastdir"));
    EXPECT_EQ("holiday.png", Setting("sfile"));
    EXPECT_FALSE(QuitPosted());
}

TEST_F(FileConversion, NextConversionProposesTheTypeJustWritten) {
    std::string first = Make("holiday.jpg");
    std::string second = Make("beach.tif");
    s_actions["Convert Image File"] = [&](HWND dialog) { Choose(dialog, first); };
    s_actions["Convert File to:"] = [&](HWND dialog) { Choose(dialog, m_out + "\\holiday.pcx"); };
    ConvertImageFile(nullptr);
    EXPECT_EQ("PCX 32x24", Identify(m_out + "\\holiday.pcx"));

    std::string saveName;
    int saveEntry = 0;
    s_lastDialog = nullptr;
    s_actions["Convert Image File"] = [&](HWND dialog) { Choose(dialog, second); };
    s_actions["Convert File to:"] = [&](HWND dialog) {
        saveName = Text(NameField(dialog));
        saveEntry = FilterEntry(dialog);
        Cancel(dialog);
    };
    ConvertImageFile(nullptr);
    EXPECT_EQ("beach.pcx", saveName);
    EXPECT_EQ(10, saveEntry);
}

// The picked file has no extension, so ".png" is added to its path; that file does
// not exist and the conversion says so.
TEST_F(FileConversion, SourceWithoutExtensionIsTakenForAPng) {
    std::string source = Make("noext", "-size 32x24 gradient:red-blue", "PNG:");
    s_actions["Convert Image File"] = [&](HWND dialog) { Choose(dialog, source); };
    s_actions["Convert File to:"] = [&](HWND dialog) { Choose(dialog, m_out + "\\noext.jpg"); };
    ConvertImageFile(nullptr);
    EXPECT_EQ(1, m_errorBoxes);
    EXPECT_FALSE(Exists(m_out + "\\noext.jpg"));
    EXPECT_EQ(m_dir, Setting("lastodir"));
}

TEST_F(FileConversion, SingleFileKeepsTheSourceExtensionWithoutALastSavedOne) {
    std::string source = Make("holiday.jpg");
    strcpy(g_szLastSaveName, "Image1");
    g_bQuickMenu = TRUE;
    std::string saveName;
    int saveEntry = 0;
    s_actions["Convert Image File"] = [&](HWND dialog) { Choose(dialog, source); };
    s_actions["Convert File to:"] = [&](HWND dialog) {
        saveName = Text(NameField(dialog));
        saveEntry = FilterEntry(dialog);
        Cancel(dialog);
    };
    ConvertImageFile(nullptr);
    EXPECT_EQ("holiday.jpg", saveName);
    EXPECT_EQ(2, saveEntry);
    EXPECT_EQ(m_dir, Setting("lastodir")); // recorded before the target was asked for
    EXPECT_EQ("<none>", Setting("sfile"));
    EXPECT_FALSE(QuitPosted());
}

// Ending a quick-menu run is the tray handler's one step; the flows themselves never
// post the quit request, even in a quick-menu run.
TEST_F(FileConversion, CancelledOpenInQuickMenuLeavesTheEndToTheTray) {
    g_bQuickMenu = TRUE;
    s_actions["Convert Image File"] = Cancel;
    ConvertImageFile(nullptr);
    EXPECT_EQ(std::vector<std::string>{"Convert Image File"}, s_seen);
    EXPECT_EQ("<none>", Setting("lastodir"));
    EXPECT_FALSE(QuitPosted());
}

TEST_F(FileConversion, SingleGifToGifIsAByteCopy) {
    std::string source = Make("anim.gif");
    s_actions["Convert Image File"] = [&](HWND dialog) { Choose(dialog, source); };
    s_actions["Convert File to:"] = [&](HWND dialog) { Choose(dialog, m_out + "\\copy.gif"); };
    ConvertImageFile(nullptr);
    EXPECT_EQ(ReadFileBytes(source), ReadFileBytes(m_out + "\\copy.gif"));
    EXPECT_EQ(0u, exchangeFile.GetLength());
}

TEST_F(FileConversion, BatchGoesOnPastAnUnreadableFile) {
    std::string selection;
    for (int i = 0; i < 10; ++i) {
        std::string name = "f" + std::to_string(i) + ".png";
        if (i == 5)
            MakeGarbage(name);
        else
            Make(name);
        selection += "\"" + name + "\" ";
    }
    std::string saveName;
    int saveEntry = 0;
    s_actions["Convert Image Files"] = [&](HWND dialog) { Choose(dialog, selection); };
    s_actions["Convert Files to:"] = [&](HWND dialog) {
        saveName = Text(NameField(dialog));
        saveEntry = FilterEntry(dialog);
        EXPECT_FALSE(g_ofnSave.Flags & OFN_OVERWRITEPROMPT);
        Choose(dialog, m_out + "\\x.jpg");
    };
    ConvertImageFiles(nullptr);

    EXPECT_EQ("f0.png", saveName);
    EXPECT_EQ(1, saveEntry);
    EXPECT_EQ(1, m_errorBoxes);
    for (int i = 0; i < 10; ++i) {
        std::string target = m_out + "\\f" + std::to_string(i) + ".jpg";
        EXPECT_EQ(i == 5 ? "" : "JPEG 32x24", Identify(target)) << target;
    }
    EXPECT_EQ(m_out, Setting("lastdir"));
    EXPECT_EQ("<none>", Setting("sfile"));
    EXPECT_TRUE(g_ofnSave.Flags & OFN_OVERWRITEPROMPT);
}

TEST_F(FileConversion, BatchNameWithoutDotMakesPngsAndLeavesSourcesAlone) {
    Make("a.png");
    Make("b.tiff");
    Make("c.bmp", "-size 32x24 gradient:red-blue -type palette", "BMP3:"); // 8 bits
    std::vector<BYTE> original = ReadFileBytes(m_dir + "\\a.png");
    s_actions["Convert Image Files"] = [&](HWND dialog) { Choose(dialog, "\"a.png\" \"b.tiff\" \"c.bmp\""); };
    // The sources' own folder: a.png is "converted" onto itself.
    s_actions["Convert Files to:"] = [&](HWND dialog) { Choose(dialog, m_dir + "\\result"); };
    ConvertImageFiles(nullptr);
    EXPECT_EQ(original, ReadFileBytes(m_dir + "\\a.png"));
    EXPECT_EQ("PNG 32x24", Identify(m_dir + "\\b.png"));
    EXPECT_EQ("PNG 32x24", Identify(m_dir + "\\c.png"));
    EXPECT_EQ(0, m_errorBoxes);
    EXPECT_EQ(m_dir, Setting("lastdir"));
}

TEST_F(FileConversion, CancelledBatchRestoresTheOverwritePromptAndLeavesTheEndToTheTray) {
    Make("a.png");
    g_bQuickMenu = TRUE;
    std::string saveName;
    strcpy(g_szLastSaveName, "Image1");
    s_actions["Convert Image Files"] = [&](HWND dialog) { Choose(dialog, "\"a.png\""); };
    s_actions["Convert Files to:"] = [&](HWND dialog) {
        saveName = Text(NameField(dialog));
        Cancel(dialog);
    };
    ConvertImageFiles(nullptr);
    EXPECT_EQ("a.png", saveName);
    EXPECT_TRUE(g_ofnSave.Flags & OFN_OVERWRITEPROMPT);
    EXPECT_EQ("<none>", Setting("lastdir"));
    EXPECT_FALSE(QuitPosted());
}

// The text of a message box.
BOOL CALLBACK StaticText(HWND child, LPARAM out) {
    char cls[32] = "", text[256] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        *(std::string*)out = text;
    return TRUE;
}

// A damaged GIF in the middle of a batch: the codec's box once, the batch goes on
// with the next file, and no target is left for the damaged one.
TEST_F(FileConversion, BatchGoesOnPastADamagedGif) {
    std::string codecBox;
    int codecBoxes = 0;
    s_actions["Kestrel"] = [&](HWND box) {
        ++codecBoxes;
        EnumChildWindows(box, StaticText, (LPARAM)&codecBox);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    };
    Make("a.gif");
    Make("c.gif");
    std::vector<BYTE> damaged = ReadFileBytes(Make("b.gif"));
    damaged.resize(damaged.size() - 8); // cut inside the image data
    FILE* f = HostFopen((m_dir + "\\b.gif").c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(damaged.data(), 1, damaged.size(), f);
    fclose(f);
    s_actions["Convert Image Files"] = [&](HWND dialog) { Choose(dialog, "\"a.gif\" \"b.gif\" \"c.gif\""); };
    s_actions["Convert Files to:"] = [&](HWND dialog) { Choose(dialog, m_out + "\\x.png"); };
    ConvertImageFiles(nullptr);

    EXPECT_EQ(1, codecBoxes);
    EXPECT_EQ("File Error!", codecBox);
    EXPECT_EQ(0, m_errorBoxes);
    EXPECT_EQ("PNG 32x24", Identify(m_out + "\\a.png"));
    EXPECT_FALSE(Exists(m_out + "\\b.png"));
    EXPECT_EQ("PNG 32x24", Identify(m_out + "\\c.png"));
    EXPECT_EQ(0u, exchangeFile.GetLength());
}

// A capture saved as GIF onto a file on a full disk (a small tmpfs; root only): the
// codec's box once, the old file as it was and nothing beside it, the exchange
// file empty.
TEST_F(FileConversion, CaptureGifOntoAFullDiskShowsTheBoxAndKeepsTheOldFile) {
    const std::string disk = "/tmp/kestrel-capture-full-" + std::to_string(GetCurrentProcessId());
    if (system(
            ("mkdir -p " + disk + " && mount -t tmpfs -o size=64k tmpfs " + disk + " 2>/dev/null").c_str()))
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    const int side = 400;
    std::vector<BYTE> noise((size_t)side * side * 3);
    uint32_t state = 7;
    for (BYTE& b : noise) {
        state = state * 1103515245u + 12345u;
        b = (BYTE)(state >> 24);
    }
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), side, side, 1, 24, BI_RGB};
    HDC screen = GetDC(nullptr);
    g_hCaptureBitmap = CreateCompatibleBitmap(screen, side, side);
    SetDIBits(screen, g_hCaptureBitmap, 0, side, noise.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);

    std::string codecBox;
    int codecBoxes = 0;
    s_actions["Kestrel"] = [&](HWND box) {
        ++codecBoxes;
        EnumChildWindows(box, StaticText, (LPARAM)&codecBox);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    };
    std::string target = "Z:" + disk + "/capture.gif";
    for (char& c : target)
        if (c == '/')
            c = '\\';
    const std::vector<BYTE> old(8000, 0x47);
    FILE* existing = fopen((disk + "/capture.gif").c_str(), "wb");
    ASSERT_TRUE(existing);
    fwrite(old.data(), 1, old.size(), existing);
    fclose(existing);
    s_actions["Save Screen Capture as:"] = [&](HWND dialog) { Choose(dialog, target); };
    SaveCapture(nullptr);

    EXPECT_EQ(1, codecBoxes);
    EXPECT_EQ("File Error!", codecBox);
    EXPECT_EQ(0, m_errorBoxes);
    EXPECT_EQ(old, testfiles::ReadFileBytes(target));
    CFileFind stray;
    EXPECT_FALSE(stray.FindFile(("Z:" + disk + "/kst*").c_str())) << "a temporary file was left behind";
    stray.Close();
    EXPECT_EQ(0u, exchangeFile.GetLength());
    DeleteObject(g_hCaptureBitmap);
    g_hCaptureBitmap = nullptr;
    // Lazily: the save dialog may have left this process's current folder there.
    system(("umount -l " + disk + " && rmdir " + disk).c_str());
}

} // namespace
