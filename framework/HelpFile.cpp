#include "framework/HelpFile.h"
#include <windows.h>
#include "framework/WinApp.h"

namespace {
const UINT kDisplayTopic = 0; // HH_DISPLAY_TOPIC
} // namespace

std::string HelpFilePathFor(const char* modulePath) {
    std::string path = modulePath ? modulePath : "";
    if (path.empty())
        return path;
    // Only a dot in the file name starts the extension, not one in a folder name.
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + ".chm";
    return path.substr(0, dot + 1) + "chm";
}

void ShowHelpFile() {
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    char module[MAX_PATH * 2] = "";
    DWORD n = GetModuleFileNameA(AfxGetInstanceHandle(), module, sizeof module);
    // A cut path would name another file; an empty one ends in the failure message.
    app->m_strHelpFilePath = n > 0 && n < sizeof module ? HelpFilePathFor(module) : std::string();
    app->HtmlHelp(0, kDisplayTopic);
}
