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

class CConvertWorker {
public:
    CConvertWorker() = default;
    // Lets the worker end by itself, or ends it.
    ~CConvertWorker();
    CConvertWorker(const CConvertWorker&) = delete;
    CConvertWorker& operator=(const CConvertWorker&) = delete;

    // Converts g_szSourcePath into g_szTargetPath in the worker as the engine does
    // in-process (staged by rule when NeedsStaging), and shows the engine's boxes
    // here with their owner. Starts a worker when none runs.
    void Convert(HWND owner, DeepeningRule rule);

private:
    enum Outcome { kDone, kFailed, kTooLong, kNotStarted };
    Outcome Start(DWORD deadline);
    void End(bool kill);
    Outcome Await(DWORD size, DWORD deadline);
    Outcome Send(const std::string& message);
    Outcome Receive(std::string& message, DWORD deadline);
    bool ShowAnswer(HWND owner, const std::string& answer);

    HANDLE m_hJobs = nullptr;    // the tray writes, the worker reads
    HANDLE m_hAnswers = nullptr; // the worker writes, the tray reads
    HANDLE m_hProcess = nullptr;
    std::string m_strExchangePath; // the worker's own exchange file
};

// The worker process's loop: answers the jobs read from jobs until the tray closes
// that pipe.
int RunConvertWorker(HANDLE jobs, HANDLE answers);
