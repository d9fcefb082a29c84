#include "convert/Settings.h"
#include <cstring>
#include <string>
#include "framework/WinApp.h"

const char kSettingsSection[] = "settings";

namespace {
const char kDefaultName[] = "Image1.png";

// Stored strings longer than a path buffer read as missing: a cut path would name
// another file.
void ReadPathSetting(CWinApp& app, const char* key, const char* fallback, char* buffer) {
    std::string value = app.GetProfileString(kSettingsSection, key, fallback);
    if (!CopyPath(buffer, value.c_str()))
        CopyPath(buffer, fallback);
}

void Flush(CWinApp& app) {
    app.WriteProfileString(nullptr, nullptr, nullptr);
}
} // namespace

void ReadSettings(CWinApp& app, const char* documentsFolder) {
    ReadPathSetting(app, "sfile", kDefaultName, g_szLastSaveName);
    ReadPathSetting(app, "ofile", kDefaultName, g_szLastOpenName);
    ReadPathSetting(app, "lastdir", documentsFolder, g_szLastSaveDir);
    ReadPathSetting(app, "lastodir", documentsFolder, g_szLastOpenDir);
    strcpy(g_szTargetPath, g_szLastSaveName);
    strcpy(g_szSourcePath, g_szLastOpenName);
    g_nShowMaximized = (int)app.GetProfileInt(kSettingsSection, "max", 0);
    g_nJpegQuality = (int)app.GetProfileInt(kSettingsSection, "jpgq", 99);
    g_nPngInterlace = (int)app.GetProfileInt(kSettingsSection, "pngi", 0);
}

void InitOpenRecord() {
    memset(&g_ofnOpen, 0, sizeof g_ofnOpen);
    g_ofnOpen.lStructSize = sizeof g_ofnOpen;
    g_ofnOpen.lpstrFile = g_szSourcePath;
    g_ofnOpen.nMaxFile = kPathSize;
    g_ofnOpen.lpstrFileTitle = g_szLastOpenName;
    g_ofnOpen.nMaxFileTitle = 0;
    g_ofnOpen.lpstrInitialDir = g_szLastOpenDir;
    g_ofnOpen.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
}

bool SplitPath(const char* path, char* folder, char* name) {
    const char* slash = strrchr(path, '\\');
    size_t folderLen = slash ? (size_t)(slash - path) : 0;
    const char* namePart = slash ? slash + 1 : path;
    if (folderLen >= (size_t)kPathSize || strlen(namePart) >= (size_t)kPathSize)
        return false;
    if (folder) {
        memcpy(folder, path, folderLen);
        folder[folderLen] = '\0';
    }
    if (name)
        strcpy(name, namePart);
    return true;
}

void RememberSavedFile(CWinApp& app, bool folderOnly) {
    if (!SplitPath(g_szTargetPath, g_szLastSaveDir, folderOnly ? nullptr : g_szLastSaveName))
        return;
    app.WriteProfileString(kSettingsSection, "lastdir", g_szLastSaveDir);
    if (!folderOnly)
        app.WriteProfileString(kSettingsSection, "sfile", g_szLastSaveName);
    Flush(app);
}

void RememberViewedFile(CWinApp& app, const char* path) {
    if (!SplitPath(path, g_szLastOpenDir, g_szLastOpenName))
        return;
    app.WriteProfileString(kSettingsSection, "ofile", g_szLastOpenName);
    app.WriteProfileString(kSettingsSection, "lastodir", g_szLastOpenDir);
    Flush(app);
}

void RememberOpenFolder(CWinApp& app, const char* path) {
    if (!SplitPath(path, g_szLastOpenDir, nullptr))
        return;
    app.WriteProfileString(kSettingsSection, "lastodir", g_szLastOpenDir);
    Flush(app);
}
