// The options dialog on its real template against the test prefix's registry,
// driven with the messages typing, clicks and arrow keys send; and the options
// command as the tray and the viewer reach it, through the application.
#include "tests/support/GTest.h"
#include "tests/support/OwnWindows.h"
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include "app/KestrelApp.h"
#include "convert/Globals.h"
#include "convert/Settings.h"
#include "imaging/DevIL.h"
#include "options/OptionsDlg.h"
#include "resources/resource.h"
#include "tray/KestrelDlg.h"

namespace {

std::function<void(HWND)> s_drive;

// Only this thread's dialog: CTest runs other cases side by side on the display.
VOID CALLBACK DriveOptions(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dlg = testwindows::OwnWindowTitled("Kestrel Options");
    if (!dlg)
        return;
    KillTimer(nullptr, id);
    s_drive(dlg);
}

std::string QualityText(HWND dlg) {
    char text[32] = "";
    GetDlgItemTextA(dlg, IDC_OPTIONS_QUALITY, text, sizeof text);
    return text;
}

// A click on a check box, as the mouse gives it: the box toggles itself.
void Click(HWND dlg, int id) {
    SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

void Press(HWND dlg, int id) {
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
}

class Options : public ::testing::Test {
protected:
    void SetUp() override {
        company = "KestrelTest-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                  "-" + std::to_string(GetCurrentProcessId());
        app.SetRegistryKey(company.c_str());
        g_nShowMaximized = 0;
        g_nPngInterlace = 0;
        g_nJpegQuality = 75;
        g_bQuickMenu = FALSE;
        ilInit();
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + company).c_str()); }

    // Runs the dialog the way the options command does, with drive inside it.
    void Run(const std::function<void(HWND)>& drive) {
        s_drive = drive;
        UINT_PTR timer = SetTimer(nullptr, 0, 20, DriveOptions);
        app.DispatchCommand(ID_OPTIONS);
        KillTimer(nullptr, timer);
    }

    bool Stored(const char* key) {
        return RegGetValueA(HKEY_CURRENT_USER, ("Software\\" + company + "\\Kestrel\\settings").c_str(), key,
                            RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
    int StoredInt(const char* key) { return (int)app.GetProfileInt(kSettingsSection, key, -1000); }

    CKestrelApp app;
    std::string company;
};

} // namespace

TEST_F(Options, TheQualityBoxKeepsOneToNinetyNineWhileTyping) {
    const struct {
        const char* typed;
        const char* shown;
    } cases[] = {{"150", "99"}, {"", "1"}, {"0", "1"}, {"100", "99"}, {"99", "99"}, {"1", "1"}, {"42", "42"}};
    std::vector<std::string> shown;
    Run([&](HWND dlg) {
        for (const auto& c : cases) {
            SetDlgItemTextA(dlg, IDC_OPTIONS_QUALITY, c.typed);
            shown.push_back(QualityText(dlg));
        }
        Press(dlg, IDCANCEL);
    });
    ASSERT_EQ(std::size(cases), shown.size());
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(cases[i].shown, shown[i]) << "typed '" << cases[i].typed << "'";
    EXPECT_FALSE(Stored("jpgq"));
}

TEST_F(Options, ArrowKeysWrapAtBothEnds) {
    std::string afterUp, afterDown;
    Run([&](HWND dlg) {
        HWND edit = GetDlgItem(dlg, IDC_OPTIONS_QUALITY);
        SetDlgItemTextA(dlg, IDC_OPTIONS_QUALITY, "99");
        SendMessageA(edit, WM_KEYDOWN, VK_UP, 1);
        afterUp = QualityText(dlg);
        SetDlgItemTextA(dlg, IDC_OPTIONS_QUALITY, "1");
        SendMessageA(edit, WM_KEYDOWN, VK_DOWN, 1);
        afterDown = QualityText(dlg);
        Press(dlg, IDCANCEL);
    });
    EXPECT_EQ("1", afterUp);
    EXPECT_EQ("99", afterDown);
}

TEST_F(Options, BoxesShowTheProfileAndTheSettings) {
    app.WriteProfileInt(kSettingsSection, "ql", 1);
    g_nPngInterlace = 1;
    UINT startup = 9, ql = 9, desk = 9, max = 9, pngi = 9;
    std::string quality;
    Run([&](HWND dlg) {
        startup = IsDlgButtonChecked(dlg, IDC_OPTIONS_STARTUP);
        ql = IsDlgButtonChecked(dlg, IDC_OPTIONS_QUICK_LAUNCH);
        desk = IsDlgButtonChecked(dlg, IDC_OPTIONS_DESKTOP);
        max = IsDlgButtonChecked(dlg, IDC_OPTIONS_MAXIMIZED);
        pngi = IsDlgButtonChecked(dlg, IDC_OPTIONS_INTERLACE);
        quality = QualityText(dlg);
        Press(dlg, IDOK);
    });
    EXPECT_EQ((std::vector<UINT>{0, 1, 0, 0, 1}), (std::vector<UINT>{startup, ql, desk, max, pngi}));
    EXPECT_EQ("75", quality);
}

TEST_F(Options, OkStoresOnlyWhatChanged) {
    Run([&](HWND dlg) { Press(dlg, IDOK); });
    for (const char* key : {"max", "pngi", "jpgq", "startup", "ql", "desk"})
        EXPECT_FALSE(Stored(key)) << key;

    Run([&](HWND dlg) {
        Click(dlg, IDC_OPTIONS_MAXIMIZED);
        Click(dlg, IDC_OPTIONS_STARTUP);
        Click(dlg, IDC_OPTIONS_DESKTOP);
        SetDlgItemTextA(dlg, IDC_OPTIONS_QUALITY, "42");
        Press(dlg, IDOK);
    });
    EXPECT_EQ(1, g_nShowMaximized);
    EXPECT_EQ(1, StoredInt("max"));
    EXPECT_EQ(42, g_nJpegQuality);
    EXPECT_EQ(42, StoredInt("jpgq"));
    EXPECT_FALSE(Stored("pngi"));
    // The three boxes are shown only.
    EXPECT_FALSE(Stored("startup"));
    EXPECT_FALSE(Stored("desk"));
    // The library has the new values at once.
    EXPECT_EQ(42, ilGetInteger(IL_JPG_QUALITY));
    EXPECT_EQ(0, ilGetInteger(IL_PNG_INTERLACE));
}

TEST_F(Options, CancelStoresNothingButTheLibraryIsToldAgain) {
    ilSetInteger(IL_JPG_QUALITY, 10);
    ilSetInteger(IL_PNG_INTERLACE, 1);
    Run([&](HWND dlg) {
        Click(dlg, IDC_OPTIONS_MAXIMIZED);
        Click(dlg, IDC_OPTIONS_INTERLACE);
        SetDlgItemTextA(dlg, IDC_OPTIONS_QUALITY, "5");
        Press(dlg, IDCANCEL);
    });
    for (const char* key : {"max", "pngi", "jpgq"})
        EXPECT_FALSE(Stored(key)) << key;
    EXPECT_EQ(0, g_nShowMaximized);
    EXPECT_EQ(75, g_nJpegQuality);
    EXPECT_EQ(75, ilGetInteger(IL_JPG_QUALITY));
    EXPECT_EQ(0, ilGetInteger(IL_PNG_INTERLACE));
}

TEST_F(Options, AStoredQualityOutOfRangeShowsClamped) {
    const struct {
        int stored;
        const char* shown;
        int afterOk;
    } cases[] = {{150, "99", 99}, {0, "1", 1}};
    for (const auto& c : cases) {
        for (bool ok : {false, true}) {
            SCOPED_TRACE(std::to_string(c.stored) + (ok ? " OK" : " Cancel"));
            app.WriteProfileInt(kSettingsSection, "jpgq", c.stored);
            g_nJpegQuality = c.stored;
            std::string shown;
            Run([&](HWND dlg) {
                shown = QualityText(dlg);
                Press(dlg, ok ? IDOK : IDCANCEL);
            });
            EXPECT_EQ(c.shown, shown);
            EXPECT_EQ(ok ? c.afterOk : c.stored, StoredInt("jpgq"));
        }
    }
}

TEST_F(Options, AQuickMenuRunEndsAfterTheDialog) {
    for (BOOL quick : {FALSE, TRUE}) {
        g_bQuickMenu = quick;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        Run([&](HWND dlg) { Press(dlg, IDCANCEL); });
        EXPECT_EQ(quick, PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "quick " << quick;
    }
}
