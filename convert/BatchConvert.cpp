#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>
#include "convert/BatchProgress.h"
#include "convert/Globals.h"
#include "convert/Settings.h"
#include "convert/ConvertEngine.h"
#include "convert/FileConversion.h"
#include "convert/FormatTable.h"
#include "convert/SaveDialog.h"
#include "convert/Worker.h"
#include "framework/Afx.h"

namespace {

const DWORD kSelectionSize = 4096;

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// name with everything after its last "." replaced by extension (a name without
// one gets a "." first).
std::string WithExtension(const std::string& name, const std::string& extension) {
    size_t dot = name.rfind('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + "." + extension;
}

// The first selected file's name with the extension of the last saved file.
void ProposeTargetName(const std::string& firstPath) {
    std::string name = FileNameOf(firstPath);
    const char* lastDot = strrchr(g_szLastSaveName, '.');
    name = WithExtension(name, lastDot ? lastDot + 1 : "png");
    lstrcpynA(g_szTargetPath, name.c_str(), kPathSize);
}

bool AskForTargetFolder(HWND owner) {
    PrepareSaveDialog(owner, "Convert Files to:", FALSE);
    // Every target is replaced without a question; the dialog only picks the folder
    // and the type.
    DWORD flags = g_ofnSave.Flags;
    g_ofnSave.Flags &= ~OFN_OVERWRITEPROMPT;
    BOOL chosen = GetSaveFileNameA(&g_ofnSave);
    g_ofnSave.Flags = flags;
    return chosen != FALSE;
}

void ReportTooLong(HWND owner) {
    ReportFailure(owner, "the target name is too long");
}

} // namespace

void ConvertBatch(HWND owner, const std::vector<std::string>& sources, const std::string& folder,
                  const std::string& extension) {
    // The workers take the library's files in turns, so every core decodes; each
    // file is finished in the order it was begun, so boxes keep the files' order. A
    // file that ends its worker gets that worker's next file a fresh one.
    const int count = BatchWorkers();
    std::unique_ptr<CConvertWorker[]> workers(new CConvertWorker[count]);
    std::deque<CConvertWorker*> begun;
    auto finishAll = [&] {
        for (; !begun.empty(); begun.pop_front())
            begun.front()->Finish();
    };
    CBatchProgress progress(owner, (int)sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string& source = sources[i];
        if (!progress.Next((int)i + 1, source.c_str()))
            break;
        std::string target = folder + WithExtension(FileNameOf(source), extension);
        bool fits = CopyPath(g_szSourcePath, source.c_str()) && CopyPath(g_szTargetPath, target.c_str());
        if (fits && LoadsThroughLibrary()) {
            if ((int)begun.size() == count) {
                begun.front()->Finish();
                begun.pop_front();
            }
            CConvertWorker* idle = &workers[0];
            while (idle->Busy())
                ++idle;
            idle->Begin(owner, kDeepenOnly8Bits);
            begun.push_back(idle);
            continue;
        }
        // A file of our own waits for the files before it: its box comes after theirs.
        finishAll();
        if (!fits) {
            ReportTooLong(owner);
            continue;
        }
        // No copy shortcut here: ConvertFile copies by itself when the suffixes match.
        if (!NeedsStaging())
            ConvertFile(false);
        else if (StageSource(owner, kDeepenOnly8Bits))
            ConvertFile(true);
    }
    finishAll();
}

void ConvertImageFiles(HWND owner) {
    std::vector<char> selection(kSelectionSize, '\0');
    CFileDialog open(TRUE, nullptr, nullptr,
                     OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT);
    open.m_ofn.lpstrFile = selection.data();
    open.m_ofn.nMaxFile = kSelectionSize;
    open.m_ofn.lpstrInitialDir = g_szLastOpenDir;
    open.m_ofn.lpstrTitle = "Convert Image Files";
    if (open.DoModal() == IDOK) {
        std::vector<std::string> sources;
        for (POSITION pos = open.GetStartPosition(); pos;)
            sources.push_back(open.GetNextPathName(pos));
        ProposeTargetName(sources.front());
        if (AskForTargetFolder(owner)) {
            CWinApp& app = *AfxGetApp();
            app.DoWaitCursor(1);
            std::string chosen = g_szTargetPath;
            size_t slash = chosen.rfind('\\');
            std::string folder = slash == std::string::npos ? "" : chosen.substr(0, slash + 1);
            std::string name = chosen.substr(folder.size());
            size_t dot = name.rfind('.');
            std::string extension = dot == std::string::npos ? "png" : name.substr(dot + 1);
            RememberSavedFile(app, true);
            ConvertBatch(owner, sources, folder, extension);
            app.DoWaitCursor(-1);
        }
    }
}
