// The image library's decoders crash, hang and run out of memory on damaged files,
// so conversions whose source goes through them run in kestrel_worker, a process
// of their own. The tray's side starts it, hands it one file at a time over a
// pipe and shows the boxes it sends back; a worker that dies, stops making
// progress or grows too large is ended, the file reported, and the next file gets
// a fresh worker.
#pragma once
#include <windows.h>
#include <string>
#include "convert/ConvertEngine.h"

// The source is read by the image library's loaders: not GIF or BMP (our own
// readers take those) and not of the target's type (a byte copy).
bool LoadsThroughLibrary();

// How long the tray waits for a worker's answer on one file; tests shorten it.
const DWORD kWorkerProgressTimeout = 30000;
void SetWorkerProgressTimeout(DWORD milliseconds);
// Above this much memory a worker is ended as failed; tests lower it. Wine takes a
// job object's memory limit but does not enforce it, so the tray watches.
const SIZE_T kWorkerMemoryCeiling = (SIZE_T)2 << 30;
void SetWorkerMemoryCeiling(SIZE_T bytes);

// How many workers a batch keeps busy at once: one a core on these machines.
const int kBatchWorkers = 2;
void SetBatchWorkers(int count); // the benchmark compares one with two
int BatchWorkers();

// A batch, or a file in a worker, is under way.
bool ConversionUnderWay();

class CConvertWorker {
public:
    CConvertWorker() = default;
    // Lets the worker end by itself, or ends it.
    ~CConvertWorker();
    CConvertWorker(const CConvertWorker&) = delete;
    CConvertWorker& operator=(const CConvertWorker&) = delete;

    // Hands g_szSourcePath and g_szTargetPath to the worker, to be converted as the
    // engine does in-process (staged by rule when NeedsStaging), and returns without
    // waiting. Starts a worker when none runs.
    void Begin(HWND owner, DeepeningRule rule);
    // Waits for the file begun last and shows the engine's boxes here with their
    // owner, or reports the file as failed. While it waits, every other busy worker
    // is watched too, so none grows past the ceiling unseen.
    void Finish();
    bool Busy() const { return m_bBusy; }

    void Convert(HWND owner, DeepeningRule rule) {
        Begin(owner, rule);
        Finish();
    }

private:
    enum Outcome { kDone, kFailed, kTooLong, kNotStarted };
    Outcome Start();
    void End(bool kill);
    Outcome Await(DWORD size);
    Outcome Receive(std::string& message);
    Outcome ReadHello();
    bool ShowAnswer(const std::string& answer);
    void WatchOthers();
    Outcome Check();
    bool TooLarge() const;

    HANDLE m_hJobs = nullptr;    // the tray writes, the worker reads
    HANDLE m_hAnswers = nullptr; // the worker writes, the tray reads
    HANDLE m_hProcess = nullptr;
    std::string m_strExchangePath; // the worker's own exchange file; empty until its hello

    // The file under way.
    bool m_bBusy = false;
    Outcome m_outcome = kDone; // of handing the file over
    DWORD m_dwDeadline = 0;
    HWND m_hOwner = nullptr;
    std::string m_strSource;
};

// The worker process's loop: answers the jobs read from jobs until the tray closes
// that pipe.
int RunConvertWorker(HANDLE jobs, HANDLE answers);
