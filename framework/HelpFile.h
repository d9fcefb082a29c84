// The program's help file: it lies next to the program and bears its name.
#pragma once
#include <string>

// The module path with its extension replaced by "chm"; a name without one gets
// ".chm" appended. Empty for an empty path.
std::string HelpFilePathFor(const char* modulePath);

// Makes the help file of the running program the application's help file and
// shows its default topic.
void ShowHelpFile();
