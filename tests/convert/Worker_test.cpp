// This test process stands in for the tray: conversions run the image library in
// kestrel_worker (linked beside this module), on the library's own reproducers in
// tests/data/bad/ and on sound files.
#include "tests/support/GTest.h"
#include "tests/convert/ConversionTestSupport.h"
#include "tests/support/TestFiles.h"
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <tlhelp32.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>
#include "convert/BatchProgress.h"
#include "convert/ConvertEngine.h"
#include "convert/FileConversion.h"
#include "convert/FormatTable.h"
#include "convert/Globals.h"
#include "convert/SaveDialog.h"
#include "convert/Settings.h"
#include "convert/Worker.h"
#include "framework/Afx.h"
#include "imaging/DevIL.h"
#include "imaging/Exchange.h"

namespace {

using testfiles::HostPath;

struct Box {
    std::string caption, text;
    HWND owner;
};

// Dialogs by title: each is answered once, and every box is recorded.
std::map<std::string, std::function<void(HWND)>> s_actions;
std::vector<Box> s_boxes;
HWND s_lastDialog = nullptr;

BOOL CALLBACK StaticText(HWND child, LPARAM out) {
    char cls[32] = "", text[512] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        *(std::string*)out = text;
    return TRUE;
}

BOOL CALLBACK AnswerDialog(HWND hwnd, LPARAM) {
    char title[128] = "";
    GetWindowTextA(hwnd, title, sizeof title);
    if (hwnd == s_lastDialog || !IsWindowVisible(hwnd))
        return TRUE;
    auto action = s_actions.find(title);
    bool box = strcmp(title, "File Error!") == 0 || strcmp(title, "Kestrel") == 0;
    if (action == s_actions.end() && !box)
        return TRUE;
    s_lastDialog = hwnd;
    if (box) {
        Box seen = {title, "", GetWindow(hwnd, GW_OWNER)};
        EnumChildWindows(hwnd, StaticText, (LPARAM)&seen.text);
        s_boxes.push_back(seen);
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
    } else {
        action->second(hwnd);
    }
    return FALSE;
}

VOID CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), AnswerDialog, 0);
}

void Choose(HWND dialog, const std::string& name) {
    HWND field = GetDlgItem(dialog, cmb13);
    SetWindowTextA(field ? field : GetDlgItem(dialog, edt1), name.c_str());
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
}


std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, ".."))
            names.push_back(found.cFileName);
    while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

// Workers this process started that still run.
int RunningWorkers() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {sizeof entry};
    int count = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId() && strstr(entry.szExeFile, "kestrel_worker"))
            ++count;
    CloseHandle(snapshot);
    return count;
}

// Every box seen, for failure messages.
std::string Boxes() {
    std::string all;
    for (const Box& box : s_boxes)
        all += "[" + box.caption + ": " + box.text + "] ";
    return all;
}

std::string FailedOn(const char* name) {
    return std::string("Error: the image library failed on ") + name + "\n";
}

class Worker : public ::testing::Test {
protected:
    void SetUp() override {
        m_app.m_strAppName = "WorkerTest" + std::to_string(GetCurrentProcessId());
        m_app.SetRegistryKey("KestrelTests");
        ilInit();
        iluInit();
        char temp[kPathSize];
        GetTempPathA(sizeof temp, temp);
        m_temp = temp;
        m_dir = m_temp + "kwt" + std::to_string(GetCurrentProcessId());
        m_out = m_dir + "\\out";
        m_workerTemp = m_dir + "\\temp";
        CreateDirectoryA(m_dir.c_str(), nullptr);
        CreateDirectoryA(m_out.c_str(), nullptr);
        CreateDirectoryA(m_workerTemp.c_str(), nullptr);
        // The workers inherit a temporary folder of this case's own, where nothing but
        // their exchange files appears; cases running beside this one have theirs.
        char tmp[kPathSize] = "";
        m_hadTmp = GetEnvironmentVariableA("TMP", tmp, sizeof tmp) > 0;
        m_tmp = tmp;
        SetEnvironmentVariableA("TMP", m_workerTemp.c_str());
        snprintf(g_szExchangePath, kPathSize, "%s\\kstmp0.bmp", m_dir.c_str());
        ASSERT_TRUE(OpenExchangeFileAt(g_szExchangePath));
        PrepareConversionRecords(m_dir, m_out);
        s_actions.clear();
        s_boxes.clear();
        s_lastDialog = nullptr;
        m_timer = SetTimer(nullptr, 0, 50, Poll);
        // The hanging reproducer spins for ever; waiting 30 s for it proves nothing more.
        SetWorkerProgressTimeout(3000);
    }
    void TearDown() override {
        SetWorkerProgressTimeout(kWorkerProgressTimeout);
        SetWorkerMemoryCeiling(kWorkerMemoryCeiling);
        SetEnvironmentVariableA("TMP", m_hadTmp ? m_tmp.c_str() : nullptr);
        KillTimer(nullptr, m_timer);
        exchangeFile.Close();
        system(("rm -rf '" + HostPath(m_dir) + "'").c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\KestrelTests\\" + m_app.m_strAppName).c_str());
    }

    std::string Make(const std::string& name) {
        std::string path = m_dir + "\\" + name;
        EXPECT_EQ(0, system(("/usr/bin/convert -size 32x24 gradient:red-blue '" + HostPath(path) + "'").c_str()));
        return path;
    }

    // A reproducer from tests/data/bad, copied in among the sources.
    void Bad(const std::string& name) {
        std::string from = std::string(KESTREL_SOURCE_DIR) + "/tests/data/bad/" + name;
        ASSERT_EQ(0, system(("cp '" + from + "' '" + HostPath(m_dir + "\\" + name) + "'").c_str()));
    }

    void ConvertOne(const std::string& source, const std::string& target) {
        s_lastDialog = nullptr;
        s_actions["Convert Image File"] = [=](HWND dialog) { Choose(dialog, source); };
        s_actions["Convert File to:"] = [=](HWND dialog) { Choose(dialog, target); };
        ConvertImageFile(nullptr);
    }

    CWinApp m_app;
    std::string m_temp, m_dir, m_out, m_workerTemp, m_tmp;
    bool m_hadTmp = false;
    UINT_PTR m_timer = 0;
};

// The crasher and the hanger in the middle of five: each reported in its place, the
// other three converted, nothing left of the two, no worker left running.
TEST_F(Worker, BatchGoesOnPastACrashAndAHang) {
    Make("a.jpg");
    Bad("cut_in_colour_table.xpm");
    Make("c.tif");
    Bad("cut_before_gamma_data.png");
    Make("e.png");
    s_actions["Convert Image Files"] = [&](HWND dialog) {
        Choose(dialog, "\"a.jpg\" \"cut_in_colour_table.xpm\" \"c.tif\" \"cut_before_gamma_data.png\" \"e.png\"");
    };
    s_actions["Convert Files to:"] = [&](HWND dialog) { Choose(dialog, m_out + "\\x.pcx"); };
    ConvertImageFiles(nullptr);

    ASSERT_EQ(2u, s_boxes.size()) << Boxes();
    EXPECT_EQ("File Error!", s_boxes[0].caption);
    EXPECT_EQ(FailedOn("cut_in_colour_table.xpm"), s_boxes[0].text);
    EXPECT_EQ("File Error!", s_boxes[1].caption);
    EXPECT_EQ("Error: the image library took too long on cut_before_gamma_data.png\n", s_boxes[1].text);
    EXPECT_EQ((std::vector<std::string>{"a.pcx", "c.pcx", "e.pcx"}), FilesIn(m_out));
    for (const char* name : {"a.pcx", "c.pcx", "e.pcx"})
        EXPECT_EQ("PCX 32x24", Identify(m_out + "\\" + name)) << name;
    EXPECT_EQ(0, RunningWorkers());
    EXPECT_TRUE(FilesIn(m_workerTemp).empty()) << "a worker's exchange file was left behind";
}

// Samples how many workers run at once while a batch converts.
struct WorkerCount {
    volatile bool stop = false;
    int most = 0;
    static DWORD WINAPI Run(LPVOID self) {
        auto* me = static_cast<WorkerCount*>(self);
        while (!me->stop) {
            me->most = std::max(me->most, RunningWorkers());
            Sleep(20);
        }
        return 0;
    }
};

std::vector<std::string> Texts(const std::vector<Box>& boxes) {
    std::vector<std::string> texts;
    for (const Box& box : boxes)
        texts.push_back(box.caption + ": " + box.text);
    return texts;
}

// Two workers at once, and still every box in the files' order: the hanger's comes
// before the crasher's that failed first, and the damaged GIF read here waits for
// both.
TEST_F(Worker, TwoWorkersKeepTheBoxesInFileOrder) {
    Bad("cut_before_gamma_data.png");
    Bad("cut_in_colour_table.xpm");
    Bad("cut_in_image_data.gif");
    Make("d.jpg");
    Make("e.tif");
    std::vector<std::string> sources;
    for (const char* name :
         {"cut_before_gamma_data.png", "cut_in_colour_table.xpm", "cut_in_image_data.gif", "d.jpg", "e.tif"})
        sources.push_back(m_dir + "\\" + name);
    WorkerCount counter;
    HANDLE thread = CreateThread(nullptr, 0, WorkerCount::Run, &counter, 0, nullptr);
    ConvertBatch(nullptr, sources, m_out + "\\", "pcx");
    counter.stop = true;
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);

    EXPECT_EQ(2, counter.most);
    EXPECT_EQ((std::vector<std::string>{
                  "File Error!: Error: the image library took too long on cut_before_gamma_data.png\n",
                  "File Error!: " + FailedOn("cut_in_colour_table.xpm"),
                  "Kestrel: File Error!",
              }),
              Texts(s_boxes));
    EXPECT_EQ((std::vector<std::string>{"d.pcx", "e.pcx"}), FilesIn(m_out));
    EXPECT_EQ("PCX 32x24", Identify(m_out + "\\d.pcx"));
    EXPECT_EQ("PCX 32x24", Identify(m_out + "\\e.pcx"));
    EXPECT_EQ(0, RunningWorkers());
    EXPECT_TRUE(FilesIn(m_workerTemp).empty()) << "a worker's exchange file was left behind";
}

// Both workers stage GIFs at once, each through an exchange file of its own.
TEST_F(Worker, TwoWorkersStageThroughExchangeFilesOfTheirOwn) {
    std::vector<std::string> sources;
    for (const char* name : {"a.jpg", "b.tif", "c.png", "d.tga"})
        sources.push_back(Make(name));
    ConvertBatch(nullptr, sources, m_out + "\\", "gif");
    EXPECT_TRUE(s_boxes.empty()) << Boxes();
    EXPECT_EQ((std::vector<std::string>{"a.gif", "b.gif", "c.gif", "d.gif"}), FilesIn(m_out));
    for (const std::string& name : FilesIn(m_out))
        EXPECT_EQ("GIF 32x24", Identify(m_out + "\\" + name)) << name;
    EXPECT_TRUE(FilesIn(m_workerTemp).empty());
}

// While the hanger is waited for, the file beside it grows past the ceiling: it is
// ended then and reported as failed, not left to grow until its own turn.
TEST_F(Worker, TheOtherWorkerIsWatchedWhileOneIsWaitedFor) {
    Bad("cut_before_gamma_data.png");
    Bad("rle_32768_square.tga");
    SetWorkerMemoryCeiling(256 << 20);
    SetWorkerProgressTimeout(8000);
    ConvertBatch(nullptr, {m_dir + "\\cut_before_gamma_data.png", m_dir + "\\rle_32768_square.tga"}, m_out + "\\",
                 "pcx");
    EXPECT_EQ((std::vector<std::string>{
                  "File Error!: Error: the image library took too long on cut_before_gamma_data.png\n",
                  "File Error!: " + FailedOn("rle_32768_square.tga"),
              }),
              Texts(s_boxes));
    EXPECT_TRUE(FilesIn(m_out).empty());
    EXPECT_EQ(0, RunningWorkers());
}

// Stands in for the tray's window and its icon's message.
const UINT kIconMessage = WM_APP + 7;
int s_iconAnswers = 0;
bool s_iconAnsweredUnderWay = false;
LRESULT CALLBACK TrayWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kIconMessage) {
        ++s_iconAnswers;
        s_iconAnsweredUnderWay = ConversionUnderWay();
        return 1;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A click on the tray's icon while a worker is waited for is answered then, with
// the conversion seen as under way, not left until the file's box is up.
TEST_F(Worker, TheTrayIconIsAnsweredWhileAWorkerIsWaitedFor) {
    Bad("cut_before_gamma_data.png");
    WNDCLASSA tray = {};
    tray.lpfnWndProc = TrayWindow;
    tray.hInstance = GetModuleHandleA(nullptr);
    tray.lpszClassName = "WorkerTestTray";
    RegisterClassA(&tray);
    HWND window = CreateWindowExA(0, tray.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  tray.hInstance, nullptr);
    ASSERT_TRUE(window);
    s_iconAnswers = 0;
    AnswerWhileConverting(window, kIconMessage);
    PostMessageA(window, kIconMessage, 0, WM_RBUTTONUP);
    EXPECT_FALSE(ConversionUnderWay());
    strcpy(g_szSourcePath, (m_dir + "\\cut_before_gamma_data.png").c_str());
    strcpy(g_szTargetPath, (m_out + "\\never.jpg").c_str());
    CConvertWorker().Convert(nullptr, kDeepenUpTo8Bits);
    AnswerWhileConverting(nullptr, 0);
    DestroyWindow(window);

    EXPECT_EQ(1, s_iconAnswers);
    EXPECT_TRUE(s_iconAnsweredUnderWay) << "answered only once the conversion was over";
    EXPECT_FALSE(ConversionUnderWay());
    ASSERT_EQ(1u, s_boxes.size()) << Boxes();
}

// One crashing file on its own: reported, and the next conversion works.
TEST_F(Worker, SingleConversionSurvivesACrash) {
    Bad("cut_in_colour_table.xpm");
    ConvertOne(m_dir + "\\cut_in_colour_table.xpm", m_out + "\\crash.png");
    ASSERT_EQ(1u, s_boxes.size()) << Boxes();
    EXPECT_EQ(FailedOn("cut_in_colour_table.xpm"), s_boxes[0].text);
    EXPECT_TRUE(FilesIn(m_out).empty());

    std::string good = Make("holiday.jpg");
    ConvertOne(good, m_out + "\\holiday.png");
    EXPECT_EQ(1u, s_boxes.size()) << Boxes();
    EXPECT_EQ("PNG 32x24", Identify(m_out + "\\holiday.png"));
    EXPECT_EQ(0, RunningWorkers());
    EXPECT_TRUE(FilesIn(m_workerTemp).empty());
}

// A file whose decoding takes gigabytes: the worker is ended once it grows past the
// ceiling (lowered here, as the progress limit is raised), long before the progress
// limit would end it, and reported as failed.
TEST_F(Worker, WorkerGrowingPastTheCeilingIsEnded) {
    Bad("rle_32768_square.tga");
    SetWorkerMemoryCeiling(256 << 20);
    SetWorkerProgressTimeout(60000);
    DWORD start = GetTickCount();
    ConvertOne(m_dir + "\\rle_32768_square.tga", m_out + "\\huge.png");
    EXPECT_LT(GetTickCount() - start, 30000u);
    ASSERT_EQ(1u, s_boxes.size()) << Boxes();
    EXPECT_EQ(FailedOn("rle_32768_square.tga"), s_boxes[0].text);
    EXPECT_TRUE(FilesIn(m_out).empty());
    EXPECT_EQ(0, RunningWorkers());
}

// The worker's engine shows what the engine shows in-process: the same boxes, in
// the same order, with the same owner, and the same file written (a GIF staged
// through the worker's own exchange file; ours stays empty).
TEST_F(Worker, EngineBoxesAreTheSameAsInProcess) {
    HWND owner = CreateWindowExA(0, "Static", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    FILE* garbage = HostFopen((m_dir + "\\garbage.png").c_str(), "wb");
    ASSERT_TRUE(garbage);
    for (int i = 0; i < 500; ++i)
        fputc(0x5A, garbage);
    fclose(garbage);
    std::string good = Make("holiday.jpg");
    const struct {
        std::string source, target;
        DeepeningRule rule;
        size_t boxes;
        bool owned;
    } cases[] = {
        {m_dir + "\\garbage.png", m_out + "\\garbage.gif", kDeepenUpTo8Bits, 1, true}, // staging
        {m_dir + "\\garbage.png", m_out + "\\garbage.tga", kDeepenOnly8Bits, 1, false},
        {good, m_out + "\\no folder\\holiday.png", kDeepenOnly8Bits, 1, false},
        {good, m_out + "\\holiday.gif", kDeepenUpTo8Bits, 0, false},
        {good, m_out + "\\holiday.tif", kDeepenOnly8Bits, 0, false},
    };
    CConvertWorker worker;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        strcpy(g_szSourcePath, c.source.c_str());
        strcpy(g_szTargetPath, c.target.c_str());
        s_boxes.clear();
        s_lastDialog = nullptr;
        if (!NeedsStaging())
            ConvertFile(false);
        else if (StageSource(owner, c.rule))
            ConvertFile(true);
        const std::vector<Box> inProcess = s_boxes;
        const int inProcessError = g_nLastImageError;
        const std::string written = Identify(c.target);
        DeleteFileA(c.target.c_str());

        s_boxes.clear();
        s_lastDialog = nullptr;
        g_nLastImageError = -1;
        worker.Convert(owner, c.rule);
        ASSERT_EQ(c.boxes, inProcess.size());
        if (c.boxes) {
            EXPECT_EQ(c.owned ? owner : nullptr, inProcess[0].owner);
        }
        ASSERT_EQ(inProcess.size(), s_boxes.size()) << Boxes();
        for (size_t i = 0; i < s_boxes.size(); ++i) {
            EXPECT_EQ(inProcess[i].caption, s_boxes[i].caption);
            EXPECT_EQ(inProcess[i].text, s_boxes[i].text);
            EXPECT_EQ(inProcess[i].owner, s_boxes[i].owner);
            EXPECT_EQ(inProcess[i].text, g_szMessage);
        }
        EXPECT_EQ(inProcessError, g_nLastImageError);
        EXPECT_EQ(written, Identify(c.target));
        EXPECT_EQ(0u, exchangeFile.GetLength());
    }
    EXPECT_EQ((std::vector<std::string>{"holiday.gif", "holiday.tif"}), FilesIn(m_out));
    DestroyWindow(owner);
}

} // namespace

namespace {
// A person at the progress window: waits for it, presses Cancel, and reads which
// file it names then.
struct CancelAtTheWindow {
    DWORD process = GetCurrentProcessId();
    int shownAtCancel = 0;
    bool windowSeen = false;

    static DWORD WINAPI Run(LPVOID self) {
        auto* me = static_cast<CancelAtTheWindow*>(self);
        for (int i = 0; i < 1200; ++i) {
            // This process's window: cases beside this one may show theirs.
            HWND window = nullptr;
            for (HWND w = nullptr; !window && (w = FindWindowExA(nullptr, w, nullptr, "Batch Convert"));) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner == me->process && IsWindowVisible(w))
                    window = w;
            }
            if (window) {
                me->windowSeen = true;
                HWND button = GetDlgItem(window, IDCANCEL);
                SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)button);
                char text[64] = "";
                GetDlgItemTextA(window, 1021, text, sizeof text);
                sscanf(text, "File %d of", &me->shownAtCancel);
                return 0;
            }
            Sleep(50);
        }
        return 0;
    }
};
} // namespace

TEST_F(Worker, CancelStopsABatchAfterTheFileUnderWay) {
    // Large enough that the batch outlasts the window's delay.
    std::string first = m_dir + "\\f000.png";
    ASSERT_EQ(0, system(("/usr/bin/convert -size 640x480 plasma:red-blue '" + HostPath(first) + "'").c_str()));
    std::vector<std::string> sources = {first};
    for (int i = 1; i < 200; ++i) {
        char name[32];
        snprintf(name, sizeof name, "\\f%03d.png", i);
        ASSERT_TRUE(CopyFileA(first.c_str(), (m_dir + name).c_str(), FALSE));
        sources.push_back(m_dir + name);
    }
    CancelAtTheWindow person;
    HANDLE thread = CreateThread(nullptr, 0, CancelAtTheWindow::Run, &person, 0, nullptr);
    ConvertBatch(nullptr, sources, m_out + "\\", "pcx");
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);

    ASSERT_TRUE(person.windowSeen) << "no progress window";
    ASSERT_GT(person.shownAtCancel, 0);
    ASSERT_LT(person.shownAtCancel, 200) << "cancelled only at the end";
    // Exactly the files up to the one under way, each complete, nothing else.
    std::vector<std::string> written = FilesIn(m_out);
    std::sort(written.begin(), written.end());
    std::vector<std::string> expected;
    for (int i = 0; i < person.shownAtCancel; ++i) {
        char name[32];
        snprintf(name, sizeof name, "f%03d.pcx", i);
        expected.push_back(name);
    }
    EXPECT_EQ(expected, written);
    for (const std::string& name : written)
        EXPECT_EQ("PCX 640x480", Identify(m_out + "\\" + name)) << name;
    EXPECT_EQ(0, RunningWorkers());
    EXPECT_TRUE(s_boxes.empty()) << Boxes();
}
