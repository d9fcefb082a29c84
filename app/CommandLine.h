// The command-line grammar: which mode a process runs in and which paths it gets.
#pragma once
#include <string>
#include <vector>

enum class StartMode {
    Tray,       // empty command line
    QuickMenu,  // ends in "-q"
    OpenDialog, // ends in "-o": the "View Image File" dialog
    ViewFiles,  // anything else: a list of paths
};

StartMode ClassifyCommandLine(const char* cmdLine);

// The paths of a ViewFiles command line, in order. Quoted lines split at every
// double quote and at one blank right after a quote; unquoted ones are one path.
std::vector<std::string> SplitCommandLinePaths(const char* cmdLine);

// What a new process for one path is started with: the program's path, one blank
// and the path, no quotes added.
std::string CommandForPath(const char* programPath, const std::string& path);
