// The real viewer window on real files, driven in-process with the messages a user's
// keys and scroll bars send.
#include "tests/viewer/ViewerFixture.h"

TEST_F(Viewer, BmpDepthsAreRecordedByTheRule) {
    const struct {
        WORD bits;
        int recorded;
    } cases[] = {{1, 1}, {4, 4}, {8, 8}, {16, 24}, {24, 24}, {32, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE("bits " + std::to_string(c.bits));
        std::string path = MakeBmp("depth" + std::to_string(c.bits) + ".bmp", 5, 3, c.bits);
        int bits = 0, w = 0, h = 0;
        bool scaled = true;
        std::string title;
        View(path, [&](CImageDlg& dlg) {
            bits = dlg.m_nBitsPerPixel;
            w = dlg.m_nImageWidth;
            h = dlg.m_nImageHeight;
            scaled = dlg.m_hScaledBitmap != nullptr;
            title = Title(dlg.m_hWnd);
            dlg.PostMessage(WM_COMMAND, IDCANCEL);
        });
        EXPECT_EQ(c.recorded, bits);
        EXPECT_EQ(5, w);
        EXPECT_EQ(3, h);
        EXPECT_FALSE(scaled);
        EXPECT_EQ("depth" + std::to_string(c.bits) + ".bmp - Kestrel Image Viewer", title);
        EXPECT_EQ(0, Boxes::count) << Boxes::text;
        EXPECT_EQ(0u, m_exchangeLeft);
    }
}

TEST_F(Viewer, EnterDoesNothingAndEscCloses) {
    std::string path = MakeBmp("keys.bmp", 8, 8, 24);
    bool openAfterEnter = false;
    INT_PTR result = View(path, [&](CImageDlg& dlg) {
        PressKey(dlg, VK_RETURN);
        Settle();
        openAfterEnter = IsWindowVisible(dlg.m_hWnd) != FALSE;
        PressKey(dlg, VK_ESCAPE);
    });
    EXPECT_TRUE(openAfterEnter);
    EXPECT_EQ(IDCANCEL, result);
}

TEST_F(Viewer, RefusedFilesShowFileErrorAndClose) {
    const struct {
        std::string name, bytes, caption;
    } cases[] = {
        {"photo.jp2", "x", "Kestrel"},                // not a viewable ending
        {"short.bmp", "BM\x10\0\0\0", "File Error!"}, // shorter than the headers
        {"noise.bmp", std::string(200, 'z'), "File Error!"},
        {"missing.gif", "", "File Error!"},
        {"noise.png", std::string(200, 'z'), "File Error!"}, // the library refuses it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Boxes::count = 0;
        std::string path = c.name == "missing.gif" ? Path(c.name) : MakeBytes(c.name, c.bytes);
        bool drove = false;
        INT_PTR result = View(path, [&](CImageDlg&) { drove = true; });
        EXPECT_EQ(IDCANCEL, result); // closed by itself
        EXPECT_EQ(1, Boxes::count);
        EXPECT_EQ(c.caption, Boxes::caption);
        EXPECT_EQ(0u, m_exchangeLeft);
        g_nLastImageError = 0;
    }
}

TEST_F(Viewer, ScrollBarsMoveByLinesPagesAndEnds) {
    std::string path = MakeBmp("big.bmp", 1500, 1200, 24);
    struct Seen {
        int x, y;
    };
    std::vector<Seen> seen;
    RECT client = {};
    double fitted = 0;
    View(path, [&](CImageDlg& dlg) {
        fitted = dlg.m_dZoom;
        dlg.SendMessage(WM_COMMAND, ID_RESIZE_ORIGINAL);
        GetClientRect(dlg.m_hWnd, &client);
        auto note = [&] { seen.push_back({dlg.m_nXOffset, dlg.m_nYOffset}); };
        dlg.SendMessage(WM_HSCROLL, SB_LINERIGHT);
        note();
        dlg.SendMessage(WM_VSCROLL, SB_LINEDOWN);
        note();
        dlg.SendMessage(WM_HSCROLL, SB_PAGERIGHT);
        note();
        dlg.SendMessage(WM_VSCROLL, SB_BOTTOM);
        note();
        dlg.SendMessage(WM_HSCROLL, SB_LEFT);
        note();
        dlg.SendMessage(WM_COMMAND, IDCANCEL);
    });
    EXPECT_LT(fitted, 1.0); // opened fitted to the window
    ASSERT_EQ(5u, seen.size());
    EXPECT_EQ(8, seen[0].x);
    EXPECT_EQ(4, seen[1].y);
    EXPECT_EQ(8 + client.right, seen[2].x);
    EXPECT_EQ(1200 - client.bottom, seen[3].y);
    EXPECT_EQ(0, seen[4].x);
}

TEST_F(Viewer, ZoomCommandsWalkTheLadder) {
    std::string path = MakeBmp("small.bmp", 90, 60, 24);
    std::vector<double> zooms;
    std::vector<int> widths;
    bool scaledAtOne = true;
    View(path, [&](CImageDlg& dlg) {
        for (UINT id : {ID_RESIZE_SMALLER, ID_RESIZE_SMALLER, ID_RESIZE_LARGER, ID_RESIZE_LARGER,
                        ID_RESIZE_LARGER, ID_RESIZE_ORIGINAL}) {
            dlg.SendMessage(WM_COMMAND, id);
            zooms.push_back(dlg.m_dZoom);
            widths.push_back(dlg.m_nDisplayWidth);
        }
        scaledAtOne = dlg.m_hScaledBitmap != nullptr;
        dlg.SendMessage(WM_COMMAND, IDCANCEL);
    });
    const std::vector<double> expected = {0.5, 1.0 / 3, 0.5, 1.0, 2.0, 1.0};
    ASSERT_EQ(expected.size(), zooms.size());
    for (size_t i = 0; i < zooms.size(); ++i)
        EXPECT_DOUBLE_EQ(expected[i], zooms[i]) << i;
    EXPECT_EQ((std::vector<int>{45, 30, 45, 90, 180, 90}), widths);
    EXPECT_FALSE(scaledAtOne);
}

TEST_F(Viewer, LargerRefusesDisplaySizesBeyondTheResampler) {
    std::string path = MakeBmp("wide.bmp", 30000, 2, 24);
    std::vector<double> zooms;
    View(path, [&](CImageDlg& dlg) {
        dlg.SendMessage(WM_COMMAND, ID_RESIZE_ORIGINAL);
        for (int i = 0; i < 3; ++i) {
            dlg.SendMessage(WM_COMMAND, ID_RESIZE_LARGER);
            zooms.push_back(dlg.m_dZoom);
        }
        dlg.SendMessage(WM_COMMAND, IDCANCEL);
    });
    EXPECT_EQ((std::vector<double>{2.0, 2.0, 2.0}), zooms);
}


TEST(ScaleDialog, TypedPercentagesAreClampedOnOk) {
    const struct {
        const char* typed;
        double factor;
    } cases[] = {{"600", 5.0}, {"3", 0.1}, {"", 0.1}, {"150", 1.5}, {"100", 1.0}};
    for (const auto& c : cases) {
        s_typed = c.typed;
        UINT_PTR timer = SetTimer(nullptr, 0, 20, TypeIntoScaleDialog);
        double f = 1.0;
        CImageDlg::AskScaleFactor(&f);
        KillTimer(nullptr, timer);
        EXPECT_DOUBLE_EQ(c.factor, f) << "typed '" << c.typed << "'";
    }
}
