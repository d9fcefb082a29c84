#include <cstdio>
#include <cstring>
#include "convert/Globals.h"
#include "convert/Settings.h"
#include "convert/ConvertEngine.h"
#include "convert/FileConversion.h"
#include "convert/FormatTable.h"
#include "convert/SaveDialog.h"
#include "convert/Worker.h"
#include "framework/Afx.h"

namespace {

// The source's name with the extension of the last saved file, so a user who keeps
// converting to one type is offered it again. Unchanged when the last saved name has
// no "." or the result would not fit.
void ProposeTargetName() {
    const char* lastDot = strrchr(g_szLastSaveName, '.');
    if (!lastDot)
        return;
    char proposal[kPathSize];
    strcpy(proposal, g_szTargetPath);
    char* dot = strrchr(proposal, '.');
    size_t keep = dot ? (size_t)(dot - proposal) : strlen(proposal);
    if (keep + strlen(lastDot) >= sizeof proposal)
        return;
    strcpy(proposal + keep, lastDot);
    strcpy(g_szTargetPath, proposal);
}

bool AskForSource() {
    lstrcpynA(g_szSourcePath, g_szLastOpenName, kPathSize);
    g_ofnOpen.hwndOwner = nullptr;
    g_ofnOpen.nFilterIndex = OpenFilterIndexForName(g_szSourcePath);
    g_ofnOpen.lpstrTitle = "Convert Image File";
    if (!GetOpenFileNameA(&g_ofnOpen))
        return false;
    // A file without an extension is taken for a PNG; then it normally does not
    // exist and the conversion reports that.
    AddDefaultExtension(g_szSourcePath);
    if (!SplitPath(g_szSourcePath, g_szLastOpenDir, g_szTargetPath))
        return false;
    CWinApp& app = *AfxGetApp();
    app.WriteProfileString(kSettingsSection, "ofile", g_szLastOpenName);
    app.WriteProfileString(kSettingsSection, "lastodir", g_szLastOpenDir);
    app.WriteProfileString(nullptr, nullptr, nullptr);
    return true;
}

bool AskForTarget(HWND owner) {
    ProposeTargetName();
    PrepareSaveDialog(owner, "Convert File to:", FALSE);
    if (!GetSaveFileNameA(&g_ofnSave))
        return false;
    if (!AddDefaultExtension(g_szTargetPath)) {
        ReportFailure(owner, "the target name is too long");
        return false;
    }
    RememberSavedFile(*AfxGetApp());
    return true;
}

} // namespace

void ConvertImageFile(HWND owner) {
    if (AskForSource() && AskForTarget(owner)) {
        if (SameTypeSuffix())
            ConvertFile(false); // with matching suffixes: the byte copy
        else if (LoadsThroughLibrary())
            CConvertWorker().Convert(owner, kDeepenUpTo8Bits);
        else if (!NeedsStaging())
            ConvertFile(false);
        else if (StageSource(owner, kDeepenUpTo8Bits))
            ConvertFile(true);
    }
}
