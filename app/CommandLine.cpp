#include "app/CommandLine.h"
#include <cstring>

namespace {
bool EndsWith(const char* text, const char* tail) {
    size_t n = strlen(text), m = strlen(tail);
    return n >= m && strcmp(text + n - m, tail) == 0;
}
} // namespace

StartMode ClassifyCommandLine(const char* cmdLine) {
    if (!cmdLine || !*cmdLine)
        return StartMode::Tray;
    if (EndsWith(cmdLine, "-q"))
        return StartMode::QuickMenu;
    if (EndsWith(cmdLine, "-o"))
        return StartMode::OpenDialog;
    return StartMode::ViewFiles;
}

std::vector<std::string> SplitCommandLinePaths(const char* cmdLine) {
    std::vector<std::string> paths;
    if (!cmdLine || !*cmdLine)
        return paths;
    if (cmdLine[0] != '"') {
        paths.push_back(cmdLine);
        return paths;
    }
    std::string piece;
    for (const char* p = cmdLine; *p; ++p) {
        if (*p == '"') {
            if (!piece.empty())
                paths.push_back(piece);
            piece.clear();
            if (p[1] == ' ')
                ++p; // one blank after a quote separates too
        } else {
            piece += *p;
        }
    }
    if (!piece.empty())
        paths.push_back(piece);
    return paths;
}

std::string CommandForPath(const char* programPath, const std::string& path) {
    return std::string(programPath) + " " + path;
}
