// Message maps route to the most derived handler, fall back along the chain, and
// send commands nobody handles to the application.
#include "tests/support/GTest.h"
#include "framework/Afx.h"

namespace {
const UINT kCmdBase = 100, kCmdDerived = 101, kCmdApp = 102, WM_PING = WM_APP + 1;

class TestApp : public CWinApp {
public:
    int appCommands = 0;
    void OnAppCommand() { ++appCommands; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(TestApp, CWinApp)
    ON_COMMAND(kCmdApp, OnAppCommand)
END_MESSAGE_MAP()

class BaseFrame : public CFrameWnd {
public:
    std::vector<std::string> calls;
    void OnBaseCommand() { calls.push_back("base"); }
    LRESULT OnPing(WPARAM w, LPARAM l) {
        calls.push_back("ping");
        return w + l;
    }
    DECLARE_MESSAGE_MAP()
protected:
    void PostNcDestroy() override {} // on the stack in these tests
};
BEGIN_MESSAGE_MAP(BaseFrame, CFrameWnd)
    ON_COMMAND(kCmdBase, OnBaseCommand)
    ON_MESSAGE(WM_PING, OnPing)
END_MESSAGE_MAP()

class DerivedFrame : public BaseFrame {
public:
    bool created = false;
    int OnCreate(LPCREATESTRUCTA cs) {
        created = true;
        return CFrameWnd::OnCreate(cs);
    }
    void OnDerivedCommand() { calls.push_back("derived"); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(DerivedFrame, BaseFrame)
    ON_WM_CREATE()
    ON_COMMAND(kCmdDerived, OnDerivedCommand)
END_MESSAGE_MAP()
} // namespace

TEST(MessageMap, RoutesMessagesAndCommandsAlongTheChain) {
    TestApp app;
    DerivedFrame frame;
    RECT r = {0, 0, 100, 100};
    ASSERT_TRUE(frame.Create(nullptr, "test", WS_POPUP, r));
    EXPECT_TRUE(frame.created);
    EXPECT_EQ(CWnd::FromHandle(frame.m_hWnd), &frame);

    frame.SendMessage(WM_COMMAND, MAKEWPARAM(kCmdDerived, 0));
    frame.SendMessage(WM_COMMAND, MAKEWPARAM(kCmdBase, 0));
    EXPECT_EQ(7, frame.SendMessage(WM_PING, 3, 4));
    frame.SendMessage(WM_COMMAND, MAKEWPARAM(kCmdApp, 0));
    EXPECT_EQ((std::vector<std::string>{"derived", "base", "ping"}), frame.calls);
    EXPECT_EQ(1, app.appCommands);

    // Unmapped messages get the default window behaviour.
    EXPECT_EQ(4, frame.SendMessage(WM_SETTEXT, 0, (LPARAM) "abcd") ? 4 : 0);
    char text[16];
    GetWindowTextA(frame.m_hWnd, text, sizeof text);
    EXPECT_STREQ("abcd", text);
    frame.DestroyWindow();
    EXPECT_EQ(nullptr, frame.m_hWnd);
}

TEST(MessageMap, DestroyingTheMainWindowEndsTheMessageLoop) {
    TestApp app;
    DerivedFrame frame;
    RECT r = {0, 0, 10, 10};
    ASSERT_TRUE(frame.Create(nullptr, "main", WS_POPUP, r));
    app.m_pMainWnd = &frame;
    frame.PostMessage(WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0)); // Exit goes to the application
    EXPECT_EQ(0, app.Run());
    EXPECT_EQ(nullptr, app.m_pMainWnd);
    EXPECT_EQ(nullptr, frame.m_hWnd);
}
