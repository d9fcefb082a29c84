// Pieces of start-up that run in-process: the exchange file, the instance name and
// the tray menu resource.
#include "tests/support/GTest.h"
#include <windows.h>
#include <cstdio>
#include <string>
#include "convert/Globals.h"
#include "imaging/Exchange.h"
#include "app/KestrelApp.h"
#include "resources/resource.h"

namespace {
std::string ExchangeName(int n) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "kstmp" + std::to_string(n) + ".bmp";
}

int FirstFreeNumber() {
    for (int n = 0;; ++n)
        if (GetFileAttributesA(ExchangeName(n).c_str()) == INVALID_FILE_ATTRIBUTES)
            return n;
}
} // namespace

TEST(ExchangeFile, TakesTheNextNumberWhenAFileIsLeftBehind) {
    int n = FirstFreeNumber();
    std::string stale = ExchangeName(n);
    HANDLE h = CreateFileA(stale.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);

    ReserveExchangeFile();
    EXPECT_EQ(ExchangeName(n + 1), g_szExchangePath);
    ASSERT_TRUE(exchangeFile.IsOpen());
    // Held without sharing: nobody else opens it while this process runs.
    HANDLE other = CreateFileA(g_szExchangePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, other);

    ReleaseExchangeFile();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ExchangeName(n + 1).c_str()));
    ReleaseExchangeFile(); // a second release is harmless
    DeleteFileA(stale.c_str());
}

TEST(InstanceName, HasTheApplicationNameAndClassFields) {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ("Kestrel:400000:8:0:0",
              CSingleInstanceApp::BuildInstanceName("Kestrel", 0x400000, 8, nullptr, icon));
    EXPECT_EQ("Kestrel:400000:8",
              CSingleInstanceApp::BuildInstanceName("Kestrel", 0x400000, 8, nullptr, nullptr));
}

TEST(TrayMenu, HoldsTheNineCommandsInOrder) {
    struct Item {
        const char* caption;
        UINT id; // 0: the Help sub-menu
    };
    const Item expected[] = {{"Capture", ID_CAPTURE},
                             {"Capture Full Screen", ID_CAPTURE_FULL_SCREEN},
                             {"View Image File", ID_VIEW_IMAGE_FILE},
                             {"Convert Image File", ID_CONVERT_FILE},
                             {"Batch Convert", ID_BATCH_CONVERT},
                             {"Options", ID_OPTIONS},
                             {"Help", 0},
                             {"Exit", ID_APP_EXIT}};
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_NE(nullptr, menu);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_EQ(8, GetMenuItemCount(popup));
    char text[64];
    for (int i = 0; i < 8; ++i) {
        GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(expected[i].caption, text);
        if (expected[i].id)
            EXPECT_EQ(expected[i].id, GetMenuItemID(popup, i));
    }
    HMENU help = GetSubMenu(popup, 6);
    ASSERT_EQ(2, GetMenuItemCount(help));
    GetMenuStringA(help, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("Help Contents", text);
    EXPECT_EQ((UINT)ID_HELP_CONTENTS, GetMenuItemID(help, 0));
    GetMenuStringA(help, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("About Kestrel", text);
    EXPECT_EQ((UINT)ID_APP_ABOUT, GetMenuItemID(help, 1));
    DestroyMenu(menu);

    char title[64] = "";
    LoadStringA(GetModuleHandleA(nullptr), IDS_APP_TITLE, title, sizeof title);
    EXPECT_STREQ("Kestrel", title);
}
