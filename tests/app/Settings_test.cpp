// Settings against the real registry of the test prefix. Each test uses its own
// company key, so it starts from a profile with no values at all.
#include "tests/support/GTest.h"
#include <windows.h>
#include <string>
#include "convert/Settings.h"
#include "framework/WinApp.h"

namespace {
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        company = std::string("KestrelTest-") + info->name() + "-" + std::to_string(GetCurrentProcessId());
        app.SetRegistryKey(company.c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + company).c_str()); }

    std::string SectionPath() const { return "Software\\" + company + "\\Kestrel\\settings"; }

    DWORD StoredType(const char* key) {
        DWORD type = 0;
        if (RegGetValueA(HKEY_CURRENT_USER, SectionPath().c_str(), key, RRF_RT_ANY, &type, nullptr,
                         nullptr) != ERROR_SUCCESS)
            return REG_NONE;
        return type;
    }

    void StoreRaw(const char* key, DWORD type, const void* data, DWORD size) {
        HKEY h;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, SectionPath().c_str(), &h));
        RegSetValueExA(h, key, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(h);
    }

    CWinApp app{"Kestrel"};
    std::string company;
};
} // namespace

TEST_F(SettingsTest, FreshProfileReadsEveryDefault) {
    ReadSettings(app, "C:\\users\\me\\Documents");
    EXPECT_STREQ("Image1.png", g_szLastSaveName);
    EXPECT_STREQ("Image1.png", g_szLastOpenName);
    EXPECT_STREQ("C:\\users\\me\\Documents", g_szLastSaveDir);
    EXPECT_STREQ("C:\\users\\me\\Documents", g_szLastOpenDir);
    EXPECT_STREQ("Image1.png", g_szTargetPath);
    EXPECT_STREQ("Image1.png", g_szSourcePath);
    EXPECT_EQ(0, g_nShowMaximized);
    EXPECT_EQ(99, g_nJpegQuality);
    EXPECT_EQ(0, g_nPngInterlace);
    EXPECT_EQ(0u, app.GetProfileInt(kSettingsSection, "first", 0));
    // Reading alone creates the key chain.
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, SectionPath().c_str(), &h));
    RegCloseKey(h);
}

TEST_F(SettingsTest, StoredValuesAreTakenAsTheyAre) {
    app.WriteProfileInt(kSettingsSection, "max", 2);
    app.WriteProfileInt(kSettingsSection, "jpgq", 150);
    app.WriteProfileString(kSettingsSection, "lastdir", "");
    app.WriteProfileString(kSettingsSection, "sfile", "shot.bmp");
    ReadSettings(app, "C:\\docs");
    EXPECT_EQ(2, g_nShowMaximized); // only 1 means maximised; the value is kept
    EXPECT_EQ(150, g_nJpegQuality);
    EXPECT_STREQ("", g_szLastSaveDir); // an empty folder stays empty
    EXPECT_STREQ("shot.bmp", g_szTargetPath);
    EXPECT_EQ((DWORD)REG_DWORD, StoredType("max"));
    EXPECT_EQ((DWORD)REG_SZ, StoredType("sfile"));
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeOrTooLongReadAsMissing) {
    StoreRaw("jpgq", REG_SZ, "50", 3);
    DWORD number = 7;
    StoreRaw("ofile", REG_DWORD, &number, sizeof number);
    StoreRaw("pngi", REG_BINARY, "\x01\x00", 2);
    std::string longName(300, 'x');
    StoreRaw("sfile", REG_SZ, longName.c_str(), (DWORD)longName.size() + 1);
    ReadSettings(app, "C:\\docs");
    EXPECT_EQ(99, g_nJpegQuality);
    EXPECT_EQ(0, g_nPngInterlace);
    EXPECT_STREQ("Image1.png", g_szLastOpenName);
    EXPECT_STREQ("Image1.png", g_szLastSaveName);
}

TEST_F(SettingsTest, FlushChangesNothingStored) {
    app.WriteProfileInt(kSettingsSection, "first", 1);
    app.WriteProfileString(kSettingsSection, "sfile", "a.png");
    app.WriteProfileString(nullptr, nullptr, nullptr);
    EXPECT_EQ(1u, app.GetProfileInt(kSettingsSection, "first", 0));
    EXPECT_EQ("a.png", app.GetProfileString(kSettingsSection, "sfile", "x"));
}

TEST_F(SettingsTest, SavedAndViewedFilesUpdateBuffersAndKeys) {
    ReadSettings(app, "C:\\docs");
    strcpy(g_szTargetPath, "C:\\shots\\one.png");
    RememberSavedFile(app);
    EXPECT_STREQ("C:\\shots", g_szLastSaveDir);
    EXPECT_STREQ("one.png", g_szLastSaveName);
    EXPECT_EQ("C:\\shots", app.GetProfileString(kSettingsSection, "lastdir"));
    EXPECT_EQ("one.png", app.GetProfileString(kSettingsSection, "sfile"));

    // A batch remembers the folder only.
    strcpy(g_szTargetPath, "D:\\out\\two.jpg");
    RememberSavedFile(app, true);
    EXPECT_EQ("D:\\out", app.GetProfileString(kSettingsSection, "lastdir"));
    EXPECT_EQ("one.png", app.GetProfileString(kSettingsSection, "sfile"));

    RememberViewedFile(app, "C:\\pics\\cat.gif");
    EXPECT_STREQ("C:\\pics", g_szLastOpenDir);
    EXPECT_STREQ("cat.gif", g_szLastOpenName);
    EXPECT_EQ("cat.gif", app.GetProfileString(kSettingsSection, "ofile"));
    EXPECT_EQ("C:\\pics", app.GetProfileString(kSettingsSection, "lastodir"));
}

TEST(SplitPath, RefusesPartsThatDoNotFitAPathBuffer) {
    char folder[kPathSize], name[kPathSize];
    std::string longName = "C:\\" + std::string(300, 'n');
    EXPECT_FALSE(SplitPath(longName.c_str(), folder, name));
    std::string longFolder = "C:\\" + std::string(300, 'f') + "\\a.png";
    EXPECT_FALSE(SplitPath(longFolder.c_str(), folder, name));
    ASSERT_TRUE(SplitPath("C:\\a\\b.png", folder, name));
    EXPECT_STREQ("C:\\a", folder);
    EXPECT_STREQ("b.png", name);
}
