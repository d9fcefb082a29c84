// The viewer's commands on the viewed image: Properties, Copy, Save Resized and
// Convert, on real files with the real dialogs, clipboard and registry. The new
// viewer that Save Resized and Convert start is this module again: started with
// a path it only records its command line.
#include "tests/viewer/ViewerFixture.h"
#include "convert/SaveDialog.h"
#include "convert/Settings.h"
#include "convert/Worker.h"
#include "framework/WinApp.h"
#include "imaging/DevIL.h"
#include "imaging/GifReader.h"
#include "viewer/PropDlg.h"

namespace {

const char kStartsVariable[] = "KESTREL_TEST_STARTS";

// What a started copy of this module records.
std::string ReadStarts(const std::string& log) {
    std::vector<BYTE> bytes = ReadWholeFile(log);
    return std::string(bytes.begin(), bytes.end());
}

struct Texts {
    std::string caption, location, size, type, width, height, colors;
};
Texts s_props;
int s_propsSeen = 0;

std::string ItemText(HWND dlg, int id) {
    char t[512] = "";
    GetDlgItemTextA(dlg, id, t, sizeof t);
    return t;
}

// Reads the properties box once it is up and closes it with its Close button.
VOID CALLBACK ReadPropertiesBox(HWND, UINT, UINT_PTR, DWORD) {
    struct Finder {
        static BOOL CALLBACK Find(HWND hwnd, LPARAM) {
            if (!IsWindowVisible(hwnd) || !GetDlgItem(hwnd, IDC_PROP_TYPE))
                return TRUE;
            s_props = {Title(hwnd),
                       ItemText(hwnd, IDC_PROP_LOCATION),
                       ItemText(hwnd, IDC_PROP_SIZE),
                       ItemText(hwnd, IDC_PROP_TYPE),
                       ItemText(hwnd, IDC_PROP_WIDTH),
                       ItemText(hwnd, IDC_PROP_HEIGHT),
                       ItemText(hwnd, IDC_PROP_COLORS)};
            ++s_propsSeen;
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return FALSE;
        }
    };
    EnumThreadWindows(GetCurrentThreadId(), Finder::Find, 0);
}

// Types a path into the save dialog once it is up and confirms it.
std::string s_typedTarget;
int s_saveDialogs = 0;
std::string s_saveTitle;
UINT s_saveFilterIndex = 0;
VOID CALLBACK AnswerSaveDialog(HWND, UINT, UINT_PTR, DWORD) {
    struct Finder {
        static BOOL CALLBACK Find(HWND hwnd, LPARAM) {
            if (!IsWindowVisible(hwnd) || !GetDlgItem(hwnd, edt1) || !GetDlgItem(hwnd, cmb1))
                return TRUE;
            ++s_saveDialogs;
            s_saveTitle = Title(hwnd);
            s_saveFilterIndex = (UINT)SendMessageA(GetDlgItem(hwnd, cmb1), CB_GETCURSEL, 0, 0) + 1;
            SetDlgItemTextA(hwnd, edt1, s_typedTarget.c_str());
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(hwnd, IDOK));
            return FALSE;
        }
    };
    EnumThreadWindows(GetCurrentThreadId(), Finder::Find, 0);
}

class ViewerCommands : public Viewer {
protected:
    void SetUp() override {
        Viewer::SetUp();
        company = "KestrelTest-" + std::to_string(GetCurrentProcessId());
        app.SetRegistryKey(company.c_str());
        ReadSettings(app, m_dir.substr(0, m_dir.size() - 1).c_str());
        InitSaveRecord();
        m_starts = Path("starts.txt");
        SetEnvironmentVariableA(kStartsVariable, m_starts.c_str());
        s_saveDialogs = 0;
        s_propsSeen = 0;
    }
    void TearDown() override {
        SetEnvironmentVariableA(kStartsVariable, nullptr);
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + company).c_str());
        Viewer::TearDown();
    }

    // Runs a viewer command with the save dialog answered by target; true when
    // the viewer ended by itself (a quit request) rather than by drive's Cancel.
    bool SaveFromViewer(const std::string& source, UINT command, const std::string& target,
                        const std::function<void(CImageDlg&)>& zoom = nullptr) {
        s_typedTarget = target;
        bool ended = true;
        View(source, [&](CImageDlg& dlg) {
            if (zoom)
                zoom(dlg);
            UINT_PTR timer = SetTimer(nullptr, 0, 20, AnswerSaveDialog);
            dlg.SendMessage(WM_COMMAND, command);
            KillTimer(nullptr, timer);
            // A viewer still open after the command is closed here.
            MSG msg;
            if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
                ended = false;
                dlg.PostMessage(WM_COMMAND, IDCANCEL);
            }
        });
        // The quit request ended the viewer's loop; it must not end the next one.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        // The started copy records itself a moment later.
        for (int i = 0; i < 100 && ended && ReadStarts(m_starts).empty(); ++i)
            Sleep(50);
        return ended;
    }

    // The pixel size and bit count of an image file, read by the library.
    struct Shape {
        int width = 0, height = 0, bits = 0;
    };
    static Shape LibraryShape(const std::string& path) {
        Shape s;
        ILuint image = 0;
        ilGenImages(1, &image);
        ilBindImage(image);
        if (ilLoadImage(testfiles::HostPath(path).c_str())) {
            s.width = ilGetInteger(IL_IMAGE_WIDTH);
            s.height = ilGetInteger(IL_IMAGE_HEIGHT);
            s.bits = ilGetInteger(IL_IMAGE_BITS_PER_PIXEL);
        }
        ilDeleteImages(1, &image);
        return s;
    }
    static WORD BmpBits(const std::string& path) {
        std::vector<BYTE> b = ReadWholeFile(path);
        return b.size() > 30 && b[0] == 'B' && b[1] == 'M' ? (WORD)(b[28] | b[29] << 8) : 0;
    }
    std::string Magick(const std::string& name, const std::string& args) {
        std::string path = Path(name);
        RunHost("convert " + args + " '" + testfiles::HostPath(path) + "' 2>&1");
        return path;
    }

    CWinApp app{"Kestrel"};
    std::string company;
    std::string m_starts;
};

} // namespace

TEST(PropertiesText, TypeTextsFollowTheEnding) {
    const struct {
        const char* path;
        const char* type;
    } cases[] = {
        {"C:\\pics\\photo.jpeg", "Jpeg File"},     {"C:\\pics\\photo.jpg", "Jpeg File"},
        {"C:\\pics\\scan.TIFF", "Tiff File"},      {"C:\\pics\\scan.tif", "Tiff File"},
        {"C:\\pics\\face.bw", "Sgi File"},         {"C:\\pics\\face.rgba", "Sgi File"},
        {"C:\\pics\\anim.gif", "Graphics Interchange Format"},
        {"C:\\pics\\render.pix", "Pixar File"},    {"C:\\pics\\image.xpm", "X PixelMap"},
        {"C:\\pics\\a.png", "Portable Network Graphics File"},
        {"C:\\pics\\a.bmp", "Microsoft Bitmap File"}, {"C:\\pics\\a.vst", "Targa File"},
        {"C:\\pics\\a.cur", "Microsoft Icon File"}, {"C:\\pics\\a.pbm", "Portable AnyMap File"},
        {"C:\\pics\\a.mdl", "Half-Life Model File"}, {"C:\\pics\\a.pcx", "ZSoft Pcx File"},
        // "xbmp" is not ".bmp": nothing matches, so Jpeg.
        {"C:\\pics\\a.xbmp", "Jpeg File"},
    };
    for (const auto& c : cases) {
        char type[256];
        PropertiesTypeText(c.path, type, sizeof type);
        EXPECT_STREQ(c.type, type) << c.path;
    }
}

TEST(PropertiesText, ColourResolutionFollowsTheDepth) {
    const struct {
        int bits;
        const char* text;
    } cases[] = {{1, "2 Colors"},   {3, "2 Colors"},   {4, "16 Colors"}, {7, "16 Colors"},
                 {8, "256 Colors"}, {15, "256 Colors"}, {16, "16 Bit"},   {23, "16 Bit"},
                 {24, "24 Bit"},    {31, "24 Bit"},    {32, "32 Bit"},   {64, "32 Bit"}};
    for (const auto& c : cases) {
        char text[32];
        PropertiesColorText(PropertiesColorCode(c.bits), text, sizeof text);
        EXPECT_STREQ(c.text, text) << c.bits << " bits";
    }
}

TEST_F(ViewerCommands, PropertiesShowTheFileAndTheLoadedImage) {
    const struct {
        std::string path;
        const char* colors;
        const char* type;
    } cases[] = {
        {MakeBmp("four.bmp", 7, 5, 4), "16 Colors", "Microsoft Bitmap File"},
        {MakeBmp("sixteen.bmp", 7, 5, 16), "24 Bit", "Microsoft Bitmap File"},
        {Magick("photo.jpg", "-size 7x5 plasma:"), "24 Bit", "Jpeg File"},
        {Magick("alpha.png", "-size 7x5 xc:none -fill red -draw 'point 1,1' -define png:color-type=6"), "32 Bit",
         "Portable Network Graphics File"},
        {Magick("grey.gif", "-size 7x5 plasma:"), "256 Colors",
         "Graphics Interchange Format"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        s_propsSeen = 0;
        View(c.path, [&](CImageDlg& dlg) {
            UINT_PTR timer = SetTimer(nullptr, 0, 20, ReadPropertiesBox);
            dlg.SendMessage(WM_COMMAND, ID_FILE_PROPERTIES);
            KillTimer(nullptr, timer);
            dlg.PostMessage(WM_COMMAND, IDCANCEL);
        });
        ASSERT_EQ(1, s_propsSeen);
        std::string name = c.path.substr(c.path.rfind('\\') + 1);
        EXPECT_EQ(name + "  Properties", s_props.caption);
        EXPECT_EQ(m_dir.substr(0, m_dir.size() - 1), s_props.location);
        EXPECT_EQ(std::to_string(ReadWholeFile(c.path).size()), s_props.size);
        EXPECT_EQ(c.type, s_props.type);
        EXPECT_EQ("7", s_props.width);
        EXPECT_EQ("5", s_props.height);
        EXPECT_EQ(c.colors, s_props.colors);
    }
}

TEST_F(ViewerCommands, PropertiesOfAFileGoneSinceLeaveTheSizeOut) {
    std::string path = MakeBmp("gone.bmp", 6, 4, 24);
    View(path, [&](CImageDlg& dlg) {
        DeleteFileA(path.c_str());
        UINT_PTR timer = SetTimer(nullptr, 0, 20, ReadPropertiesBox);
        dlg.SendMessage(WM_COMMAND, ID_FILE_PROPERTIES);
        KillTimer(nullptr, timer);
        dlg.PostMessage(WM_COMMAND, IDCANCEL);
    });
    ASSERT_EQ(1, s_propsSeen);
    EXPECT_EQ("", s_props.size);
    EXPECT_EQ("6", s_props.width);
    EXPECT_EQ("24 Bit", s_props.colors);
}

TEST_F(ViewerCommands, CopyTakesTheDisplayedBitmap) {
    const struct {
        const char* steps;
        int scale; // of the copied image, against the file
        bool scaledExists;
    } cases[] = {{"larger percent50", 1, true}, {"larger", 2, true}, {"larger original", 1, false}};
    std::string path = MakeBmp("copy.bmp", 12, 6, 24);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        std::vector<DWORD> shown, copied;
        LONG cw = 0, ch = 0;
        bool scaled = false;
        View(path, [&](CImageDlg& dlg) {
            dlg.SendMessage(WM_COMMAND, ID_RESIZE_LARGER);
            if (strstr(c.steps, "percent50")) {
                s_typed = "50";
                UINT_PTR timer = SetTimer(nullptr, 0, 20, TypeIntoScaleDialog);
                dlg.SendMessage(WM_COMMAND, ID_RESIZE_PERCENTAGE);
                KillTimer(nullptr, timer);
                EXPECT_EQ(1.0, dlg.m_dZoom);
            }
            if (strstr(c.steps, "original"))
                dlg.SendMessage(WM_COMMAND, ID_RESIZE_ORIGINAL);
            scaled = dlg.m_hScaledBitmap != nullptr;
            HBITMAP displayed = dlg.m_hScaledBitmap ? dlg.m_hScaledBitmap : dlg.m_hBitmap;
            LPBITMAPINFOHEADER shownDib = DibFromBitmapAtDepth(displayed, 24, BI_RGB, nullptr);
            for (LONG y = 0; shownDib && y < shownDib->biHeight; ++y)
                for (LONG x = 0; x < shownDib->biWidth; ++x)
                    shown.push_back(DibPixelColor(shownDib, x, y));
            FreeDib(shownDib);
            dlg.SendMessage(WM_COMMAND, ID_COPY_IMAGE);
            // Read while the viewer, the clipboard's owner, is still open: Wine's
            // clipboard stalls a reader in the owner's process once it has gone.
            ASSERT_TRUE(OpenClipboard(nullptr));
            EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
            EXPECT_TRUE(IsClipboardFormatAvailable(CF_PALETTE));
            HANDLE data = GetClipboardData(CF_DIB);
            auto* dib = data ? static_cast<const BITMAPINFOHEADER*>(GlobalLock(data)) : nullptr;
            if (dib) {
                cw = dib->biWidth;
                ch = dib->biHeight;
                for (LONG y = 0; y < dib->biHeight; ++y)
                    for (LONG x = 0; x < dib->biWidth; ++x)
                        copied.push_back(DibPixelColor(dib, x, y));
                GlobalUnlock(data);
            }
            CloseClipboard();
            dlg.PostMessage(WM_COMMAND, IDCANCEL);
        });
        EXPECT_EQ(c.scaledExists, scaled);
        EXPECT_EQ(12 * c.scale, cw);
        EXPECT_EQ(6 * c.scale, ch);
        EXPECT_EQ(shown, copied);
    }
}

TEST(ViewerNames, SaveProposalTakesTheLastSavedType) {
    const struct {
        const char* viewed;
        const char* lastSaved;
        const char* proposal;
    } cases[] = {{"C:\\pics\\photo.jpg", "shot.png", "photo.png"},
                 {"C:\\pics\\photo.jpg", "shot", "photo.jpg"},
                 {"C:\\pics\\README", "shot.png", "README"},
                 {"C:\\my.pics\\photo.jpeg", "a.b.gif", "photo.gif"}};
    for (const auto& c : cases) {
        strcpy(g_szLastSaveName, c.lastSaved);
        char proposal[kPathSize];
        ProposeViewerTarget(c.viewed, proposal);
        EXPECT_STREQ(c.proposal, proposal) << c.viewed << " after " << c.lastSaved;
    }
}

TEST_F(ViewerCommands, SaveResizedWritesTheDisplaySizeAndOpensIt) {
    auto larger = [](CImageDlg& dlg) { dlg.SendMessage(WM_COMMAND, ID_RESIZE_LARGER); };
    auto smaller = [](CImageDlg& dlg) { dlg.SendMessage(WM_COMMAND, ID_RESIZE_SMALLER); };
    const struct {
        std::string source;
        std::string target; // typed into the dialog
        std::string written;
        bool enlarge;
        WORD bmpBits; // 0: not a BMP
    } cases[] = {
        {MakeBmp("wide.bmp", 40, 20, 24), "big.bmp", "big.bmp", true, 24},
        {MakeBmp("wide8.bmp", 40, 20, 8), "big8.bmp", "big8.bmp", true, 8},
        {MakeBmp("wide.bmp", 40, 20, 24), "big.gif", "big.gif", true, 0},
        {MakeBmp("wide.bmp", 40, 20, 24), "small", "small.png", false, 0},
        {MakeBmp("wide.bmp", 40, 20, 24), "big.jpg", "big.jpg", true, 0},
        {Magick("anim.gif", "-size 40x20 plasma: -colors 200"), "fromgif.bmp", "fromgif.bmp", false, 8},
        {Magick("alpha.png", "-size 40x20 plasma: -alpha set -define png:color-type=6"), "deep.bmp", "deep.bmp",
         true, 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.target);
        DeleteFileA(m_starts.c_str());
        s_saveDialogs = 0;
        Boxes::count = 0;
        bool ended = SaveFromViewer(c.source, ID_FILE_SAVE_RESIZED, Path(c.target),
                                    c.enlarge ? std::function<void(CImageDlg&)>(larger) : smaller);
        EXPECT_TRUE(ended);
        EXPECT_EQ(1, s_saveDialogs);
        EXPECT_EQ("Save Resized Image as:", s_saveTitle);
        EXPECT_EQ(0, Boxes::count) << Boxes::text;
        std::string written = Path(c.written);
        Shape shape = LibraryShape(written);
        EXPECT_EQ(c.enlarge ? 80 : 20, shape.width);
        EXPECT_EQ(c.enlarge ? 40 : 10, shape.height);
        if (c.bmpBits)
            EXPECT_EQ(c.bmpBits, BmpBits(written));
        EXPECT_NE(std::string::npos, ReadStarts(m_starts).find(" " + written)) << ReadStarts(m_starts);
        EXPECT_EQ(c.written, app.GetProfileString(kSettingsSection, "sfile", ""));
        EXPECT_EQ(m_dir.substr(0, m_dir.size() - 1), app.GetProfileString(kSettingsSection, "lastdir", ""));
        DeleteFileA(written.c_str());
    }
}

TEST_F(ViewerCommands, SaveResizedAtTheImageSizeDoesNothing) {
    std::string path = MakeBmp("same.bmp", 30, 20, 24);
    bool ended = SaveFromViewer(path, ID_FILE_SAVE_RESIZED, Path("never.png"), [](CImageDlg& dlg) {
        dlg.SendMessage(WM_COMMAND, ID_RESIZE_LARGER);
        dlg.SendMessage(WM_COMMAND, ID_RESIZE_ORIGINAL);
    });
    EXPECT_FALSE(ended);
    EXPECT_EQ(0, s_saveDialogs);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("never.png").c_str()));
    EXPECT_EQ("", ReadStarts(m_starts));
}

TEST_F(ViewerCommands, ConvertWritesTheOriginalSizeAndOpensIt) {
    auto smaller = [](CImageDlg& dlg) { dlg.SendMessage(WM_COMMAND, ID_RESIZE_SMALLER); };
    std::string photo = Magick("photo.jpg", "-size 24x16 plasma:");
    CreateDirectoryA(Path("other").c_str(), nullptr);
    const struct {
        std::string source;
        std::string target;
        bool byteCopy;
        WORD bmpBits;
    } cases[] = {
        {photo, "other\\photo.JPG", true, 0},
        {Magick("photo.jpeg", "-size 24x16 plasma:"), "photo2.jpg", false, 0},
        {photo, "photo.gif", false, 0},
        {photo, "photo.bmp", false, 24},
        {Magick("anim.gif", "-size 24x16 plasma: -colors 100"), "anim.png", false, 0},
        {MakeBmp("eight.bmp", 24, 16, 8), "eight.png", false, 0},
        {MakeBmp("four.bmp", 24, 16, 4), "four.tga", false, 0},
        {MakeBmp("true.bmp", 24, 16, 24), "true.png", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.target);
        DeleteFileA(m_starts.c_str());
        s_saveDialogs = 0;
        Boxes::count = 0;
        // Zoomed out: the conversion still works from the full image.
        EXPECT_TRUE(SaveFromViewer(c.source, ID_FILE_CONVERT, Path(c.target), smaller));
        EXPECT_EQ("Convert File to:", s_saveTitle);
        EXPECT_EQ(0, Boxes::count) << Boxes::text;
        std::string written = Path(c.target);
        if (c.byteCopy)
            EXPECT_EQ(ReadWholeFile(c.source), ReadWholeFile(written));
        else
            EXPECT_NE(ReadWholeFile(c.source), ReadWholeFile(written));
        Shape shape = LibraryShape(written);
        EXPECT_EQ(24, shape.width);
        EXPECT_EQ(16, shape.height);
        if (c.bmpBits)
            EXPECT_EQ(c.bmpBits, BmpBits(written));
        EXPECT_NE(std::string::npos, ReadStarts(m_starts).find(" " + written)) << ReadStarts(m_starts);
        DeleteFileA(written.c_str());
    }
}

TEST_F(ViewerCommands, ConvertedPixelsMatchTheSource) {
    // Exact colours through each route: a few colours survive GIF, PNG and BMP alike.
    std::string source = MakeBmp("colours.bmp", 9, 7, 4);
    std::string png = Path("colours.png");
    ASSERT_TRUE(SaveFromViewer(source, ID_FILE_CONVERT, png));
    std::string gif = Path("colours.gif");
    ASSERT_TRUE(SaveFromViewer(png, ID_FILE_CONVERT, gif));
    std::string compare = RunHost("compare -metric AE '" + testfiles::HostPath(source) + "' '" +
                                  testfiles::HostPath(gif) + "' null: 2>&1");
    EXPECT_EQ("0", compare);
}

// Convert reads the file again, and it may have changed since it was viewed: one
// that now hangs the image library costs that conversion, not the viewer.
TEST_F(ViewerCommands, ConvertOfAFileThatNowHangsTheLibraryIsReported) {
    std::string source = Magick("changed.png", "-size 24x16 plasma:");
    std::string hanger = std::string(KESTREL_SOURCE_DIR) + "/tests/data/bad/cut_before_gamma_data.png";
    SetWorkerProgressTimeout(3000);
    Boxes::count = 0;
    EXPECT_TRUE(SaveFromViewer(source, ID_FILE_CONVERT, Path("changed.jpg"), [&](CImageDlg&) {
        RunHost("cp '" + hanger + "' '" + testfiles::HostPath(source) + "'");
    }));
    SetWorkerProgressTimeout(kWorkerProgressTimeout);
    EXPECT_EQ(1, Boxes::count);
    EXPECT_EQ("File Error!", Boxes::caption);
    EXPECT_EQ("Error: the image library took too long on changed.png\n", Boxes::text);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("changed.jpg").c_str()));
}

int main(int argc, char** argv) {
    // Started as the new viewer: record the command line and end.
    if (argc == 2 && argv[1][0] != '-') {
        char log[MAX_PATH] = "";
        if (GetEnvironmentVariableA(kStartsVariable, log, sizeof log)) {
            HANDLE h = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
            const char* line = GetCommandLineA();
            DWORD written;
            WriteFile(h, line, (DWORD)strlen(line), &written, nullptr);
            WriteFile(h, "\n", 1, &written, nullptr);
            CloseHandle(h);
        }
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
