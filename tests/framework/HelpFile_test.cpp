// The help file's name follows the program's, and a help file that cannot be shown
// is reported.
#include "tests/support/GTest.h"
#include <windows.h>
#include "framework/HelpFile.h"
#include "framework/WinApp.h"

TEST(HelpFile, IsTheProgramPathWithTheExtensionChm) {
    struct Case {
        const char* module;
        const char* help;
    } cases[] = {
        {"Z:\\work\\build\\kestrel.exe", "Z:\\work\\build\\kestrel.chm"},
        {"C:\\Tools\\hawk.exe", "C:\\Tools\\hawk.chm"}, // a renamed program looks for its own name
        {"C:\\Tools\\kestrel.v3.exe", "C:\\Tools\\kestrel.v3.chm"}, // only the last extension goes
        {"C:\\my.tools\\kestrel", "C:\\my.tools\\kestrel.chm"},     // a dot in a folder is no extension
        {"kestrel.exe", "kestrel.chm"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.help, HelpFilePathFor(c.module)) << c.module;
}

namespace {
std::string g_boxText;

void CALLBACK ReadAndCloseBox(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowA("#32770", "Kestrel");
    if (!box)
        return;
    KillTimer(nullptr, id);
    char text[128] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    g_boxText = text;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}
} // namespace

TEST(HelpFile, MissingFileSaysHelpFailedToLaunch) {
    CWinApp app("Kestrel");
    app.m_strHelpFilePath = "C:\\no such folder\\kestrel.chm";
    g_boxText.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadAndCloseBox);
    app.HtmlHelp();
    KillTimer(nullptr, timer);
    EXPECT_EQ("Failed to launch help.", g_boxText);
}
