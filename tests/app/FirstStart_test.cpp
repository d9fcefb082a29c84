// The first-run step against the real registry of the test prefix and the real
// welcome dialog, and the templates of the welcome dialog and the about box.
#include "tests/support/GTest.h"
#include "tests/support/OwnWindows.h"
#include <windows.h>
#include <string>
#include <vector>
#include "convert/Settings.h"
#include "app/WelcomeDlg.h"
#include "framework/WinApp.h"
#include "resources/resource.h"

namespace {
const char kWelcome1[] =
    "Welcome to Kestrel, the screen capture and image viewing and conversion utility that is always handy, "
    "but never in the way!  This window won't be shown again, so take a moment to read about Kestrel below.";
const char kWelcome2[] =
    "When run from the Start Menu, Kestrel just places its icon in the Taskbar Tray.  Left click this icon "
    "to screen capture, right click it for Kestrel's popup menu.  Kestrel also adds a View Image command to "
    "Windows Explorer's context menu.";
const char kWelcome3[] =
    "Use the check boxes below to add a Kestrel Desktop icon or Quick Launch Toolbar button on the Taskbar.  "
    "Change these at any time, or set any of Kestrel's options by clicking Options on Kestrel's menu.  See "
    "Kestrel's help file for details.";

struct Control {
    int id;
    std::string className;
    std::string text;
    LONG style;
};

// The dialog's controls in template order.
std::vector<Control> ControlsOf(HWND dialog) {
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = "", text[512] = "";
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, text, sizeof text);
        controls.push_back({GetDlgCtrlID(child), cls, text, GetWindowLongA(child, GWL_STYLE)});
    }
    return controls;
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

class FirstStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        company = "KestrelTest-FirstStart-" + std::to_string(GetCurrentProcessId());
        app.SetRegistryKey(company.c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + company).c_str()); }

    CWinApp app{"Kestrel"};
    std::string company;
};

// What the welcome dialog saw while it was open; the timer closes it.
struct WelcomeVisit {
    CWinApp* app = nullptr;
    int shown = 0;
    UINT firstWhileOpen = 0;
    bool desktopBoxToggles = false;
    WPARAM closeWith = IDCANCEL;
} g_visit;

// This thread's own welcome dialog: closing one of a case beside this one would
// leave this one open for ever.
void CALLBACK CloseWelcome(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = testwindows::OwnWindowTitled("Welcome to Kestrel");
    if (!dialog)
        return;
    KillTimer(nullptr, id);
    ++g_visit.shown;
    g_visit.firstWhileOpen = g_visit.app->GetProfileInt(kSettingsSection, "first", 0);
    HWND box = GetDlgItem(dialog, IDC_ADD_DESKTOP_ICON);
    SendMessageA(box, BM_CLICK, 0, 0);
    bool checked = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    SendMessageA(box, BM_CLICK, 0, 0);
    g_visit.desktopBoxToggles = checked && SendMessageA(box, BM_GETCHECK, 0, 0) == BST_UNCHECKED;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(g_visit.closeWith, BN_CLICKED), 0);
}

bool PassWithWelcomeClosedBy(CWinApp& app, WPARAM button) {
    g_visit = WelcomeVisit();
    g_visit.app = &app;
    g_visit.closeWith = button;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseWelcome);
    bool passed = PassFirstStart(app);
    KillTimer(nullptr, timer);
    return passed;
}
} // namespace

TEST_F(FirstStartTest, StoresFirstBeforeTheWelcomeAndShowsItOnce) {
    EXPECT_FALSE(PassWithWelcomeClosedBy(app, IDCANCEL)) << "Exit Kestrel ends start-up";
    EXPECT_EQ(1, g_visit.shown);
    EXPECT_EQ(1u, g_visit.firstWhileOpen) << "stored before the dialog opened";
    EXPECT_TRUE(g_visit.desktopBoxToggles);
    // Whatever closed it, the next start goes on without it.
    EXPECT_TRUE(PassWithWelcomeClosedBy(app, IDCANCEL));
    EXPECT_EQ(0, g_visit.shown);
}

TEST_F(FirstStartTest, ShowTheTrayIconLetsStartUpGoOn) {
    EXPECT_TRUE(PassWithWelcomeClosedBy(app, IDOK));
    EXPECT_EQ(1, g_visit.shown);
}

TEST(FirstStartDialogs, WelcomeHasItsTextsButtonsAndBoxesInOrder) {
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WELCOME), nullptr, QuietProc, 0);
    ASSERT_NE(nullptr, dialog);
    char caption[64] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ("Welcome to Kestrel", caption);
    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_SYSMENU) << "no close box";
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    std::vector<Control> c = ControlsOf(dialog);
    ASSERT_EQ(9u, c.size());
    EXPECT_EQ(IDOK, c[0].id);
    EXPECT_EQ("Show the tray icon", c[0].text);
    EXPECT_EQ(BS_DEFPUSHBUTTON, c[0].style & 0xF);
    EXPECT_EQ(IDCANCEL, c[1].id);
    EXPECT_EQ("Exit Kestrel", c[1].text);
    EXPECT_EQ(kWelcome1, c[2].text);
    EXPECT_EQ(SS_ICON, c[3].style & SS_TYPEMASK);
    EXPECT_EQ(kWelcome2, c[4].text);
    EXPECT_EQ(kWelcome3, c[5].text);
    EXPECT_EQ(IDC_SHOW_HELP_FILE, c[6].id);
    EXPECT_EQ("Show the help file", c[6].text);
    EXPECT_EQ(IDC_ADD_DESKTOP_ICON, c[7].id);
    EXPECT_EQ("Add Desktop icon", c[7].text);
    EXPECT_EQ(BS_AUTOCHECKBOX, c[7].style & 0xF);
    EXPECT_EQ(IDC_ADD_QUICK_LAUNCH, c[8].id);
    EXPECT_EQ("Add Quick Launch Toolbar button", c[8].text);
    EXPECT_EQ(BS_AUTOCHECKBOX, c[8].style & 0xF);
    DestroyWindow(dialog);
}

TEST(FirstStartDialogs, AboutBoxNamesTheVersion) {
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), nullptr, QuietProc, 0);
    ASSERT_NE(nullptr, dialog);
    char caption[64] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ("About Kestrel", caption);
    std::vector<Control> c = ControlsOf(dialog);
    ASSERT_EQ(4u, c.size());
    EXPECT_EQ(SS_ICON, c[0].style & SS_TYPEMASK);
    EXPECT_EQ("Kestrel Version 3.0", c[1].text);
    EXPECT_FALSE(c[2].text.empty());
    EXPECT_EQ(IDOK, c[3].id);
    EXPECT_EQ("OK", c[3].text);
    DestroyWindow(dialog);
}
