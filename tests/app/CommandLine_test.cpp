#include "tests/support/GTest.h"
#include "app/CommandLine.h"

namespace {
struct CommandLineCase {
    const char* line;
    StartMode mode;
    std::vector<std::string> paths; // for ViewFiles: every path, the last one is shown here
};

const CommandLineCase kCases[] = {
    {"", StartMode::Tray, {}},
    {"-q", StartMode::QuickMenu, {}},
    {"C:\\x.png -q", StartMode::QuickMenu, {}},
    {"photo-q", StartMode::QuickMenu, {}},
    {"photo-o", StartMode::OpenDialog, {}},
    {"-o", StartMode::OpenDialog, {}},
    {"-q ", StartMode::ViewFiles, {"-q "}},
    {"a", StartMode::ViewFiles, {"a"}},
    {"C:\\My Pictures\\a.png", StartMode::ViewFiles, {"C:\\My Pictures\\a.png"}},
    {"C:\\a.png C:\\b.png", StartMode::ViewFiles, {"C:\\a.png C:\\b.png"}},
    {"\"C:\\a.png\"", StartMode::ViewFiles, {"C:\\a.png"}},
    {"\"C:\\a.png\" \"C:\\b c.png\" \"C:\\d.png\"",
     StartMode::ViewFiles,
     {"C:\\a.png", "C:\\b c.png", "C:\\d.png"}},
    // The second blank is a path of its own.
    {"\"C:\\a.png\"  \"C:\\b.png\"", StartMode::ViewFiles, {"C:\\a.png", " ", "C:\\b.png"}},
};
} // namespace

TEST(CommandLine, ModesAndPathsFollowTheGrammar) {
    for (const CommandLineCase& c : kCases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.mode, ClassifyCommandLine(c.line));
        if (c.mode == StartMode::ViewFiles) {
            EXPECT_EQ(c.paths, SplitCommandLinePaths(c.line));
        }
    }
}

TEST(CommandLine, NewProcessesGetProgramBlankAndPathUnquoted) {
    const char* program = "Z:\\opt\\kestrel.exe";
    EXPECT_EQ("Z:\\opt\\kestrel.exe C:\\b c.png", CommandForPath(program, "C:\\b c.png"));
    // A blank path gives the program and two blanks: a tray-mode start.
    EXPECT_EQ("Z:\\opt\\kestrel.exe  ", CommandForPath(program, " "));
}
