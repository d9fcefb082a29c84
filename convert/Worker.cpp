#include "convert/Worker.h"
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include "convert/BatchProgress.h"
#include "convert/FormatTable.h"
#include "convert/Globals.h"
#include "framework/HostPath.h"
#include "imaging/Exchange.h"

namespace {

DWORD s_progressTimeout = kWorkerProgressTimeout;
SIZE_T s_memoryCeiling = kWorkerMemoryCeiling;

// Messages on the pipe: a 32-bit length, then fields (32-bit numbers, 64-bit
// handles, strings with a 32-bit length in front).
class CMessage {
public:
    CMessage() = default;
    explicit CMessage(const std::string& bytes) : m_bytes(bytes) {}

    CMessage& Put(UINT64 value) { return PutRaw(&value, sizeof value); }
    CMessage& Put(int value) { return PutRaw(&value, sizeof value); }
    CMessage& Put(const char* text) {
        Put((int)strlen(text));
        m_bytes.append(text);
        return *this;
    }
    const std::string& Bytes() const { return m_bytes; }

    bool Get(UINT64& value) { return GetRaw(&value, sizeof value); }
    bool Get(int& value) { return GetRaw(&value, sizeof value); }
    bool Get(std::string& text) {
        int length = 0;
        if (!Get(length) || length < 0 || (size_t)length > m_bytes.size() - m_read)
            return false;
        text = m_bytes.substr(m_read, length);
        m_read += length;
        return true;
    }

private:
    CMessage& PutRaw(const void* data, size_t size) {
        m_bytes.append((const char*)data, size);
        return *this;
    }
    bool GetRaw(void* data, size_t size) {
        if (m_bytes.size() - m_read < size)
            return false;
        memcpy(data, m_bytes.data() + m_read, size);
        m_read += size;
        return true;
    }
    std::string m_bytes;
    size_t m_read = 0;
};

const char* FileNameOf(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// The worker's side: plain blocking reads and writes.
bool WriteAll(HANDLE pipe, const std::string& message) {
    UINT32 length = (UINT32)message.size();
    std::string framed((const char*)&length, sizeof length);
    framed += message;
    DWORD written = 0;
    return WriteFile(pipe, framed.data(), (DWORD)framed.size(), &written, nullptr) && written == framed.size();
}

// Reads go through a buffer on the stack: Wine refuses to read a pipe into memory
// it did not allocate itself (ERROR_INVALID_USER_BUFFER), and the C++ heap is the C
// library's under Winelib.
bool ReadExactly(HANDLE pipe, void* data, DWORD size) {
    BYTE* at = (BYTE*)data;
    BYTE chunk[4096];
    while (size > 0) {
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, std::min<DWORD>(size, sizeof chunk), &got, nullptr) || got == 0)
            return false;
        memcpy(at, chunk, got);
        at += got;
        size -= got;
    }
    return true;
}

bool ReadMessage(HANDLE pipe, std::string& message) {
    UINT32 length = 0;
    if (!ReadExactly(pipe, &length, sizeof length) || length > (1u << 20))
        return false;
    message.resize(length);
    return length == 0 || ReadExactly(pipe, &message[0], length);
}

CMessage* s_pBoxes = nullptr;
int s_nBoxes = 0;

// In the worker every box goes into the answer, with its owner as the tray gave it.
void CollectBox(HWND owner, const char* text, const char* caption) {
    s_pBoxes->Put((UINT64)(ULONG_PTR)owner).Put(text).Put(caption);
    ++s_nBoxes;
}

} // namespace

bool LoadsThroughLibrary() {
    return !IsGifName(g_szSourcePath) && !IsBmpName(g_szSourcePath) && !SameTypeSuffix();
}

void SetWorkerProgressTimeout(DWORD milliseconds) {
    s_progressTimeout = milliseconds;
}

void SetWorkerMemoryCeiling(SIZE_T bytes) {
    s_memoryCeiling = bytes;
}

namespace {
int s_batchWorkers = kBatchWorkers;
std::vector<CConvertWorker*> s_busy; // every worker with a file under way
} // namespace

bool ConversionUnderWay() {
    return !s_busy.empty() || CBatchProgress::UnderWay();
}

void SetBatchWorkers(int count) {
    s_batchWorkers = std::max(1, count);
}

int BatchWorkers() {
    return s_batchWorkers;
}

CConvertWorker::~CConvertWorker() {
    s_busy.erase(std::remove(s_busy.begin(), s_busy.end(), this), s_busy.end());
    End(m_bBusy);
}

// The file the worker is on: too long, or too large. Death is seen by reading.
CConvertWorker::Outcome CConvertWorker::Check() {
    if ((LONG)(m_dwDeadline - GetTickCount()) <= 0)
        return kTooLong;
    return TooLarge() ? kFailed : kDone;
}

bool CConvertWorker::TooLarge() const {
    PROCESS_MEMORY_COUNTERS counters = {sizeof counters};
    return GetProcessMemoryInfo(m_hProcess, &counters, sizeof counters) &&
           std::max(counters.WorkingSetSize, counters.PagefileUsage) > s_memoryCeiling;
}

// While one worker is waited for, another may be growing without bound: it is ended
// now, and its turn reads what it had answered, if anything. Its time limit is seen
// in its turn: a finished answer may be waiting in its pipe.
void CConvertWorker::WatchOthers() {
    for (CConvertWorker* other : s_busy)
        if (other != this && other->m_hProcess && other->TooLarge())
            TerminateProcess(other->m_hProcess, 1);
}

// Waits until size bytes of the answer are in the pipe. Anonymous pipes have no
// overlapped reads, so this looks at the pipe between short waits on the process.
CConvertWorker::Outcome CConvertWorker::Await(DWORD size) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(m_hAnswers, nullptr, 0, nullptr, &available, nullptr))
            return kFailed; // the worker is gone: the pipe is broken
        if (available >= size)
            return kDone;
        Outcome outcome = Check();
        if (outcome != kDone)
            return outcome;
        WatchOthers();
        // A batch's progress window answers, and its Cancel is seen, while it waits.
        CBatchProgress::KeepAnswering();
        if (WaitForSingleObject(m_hProcess, 5) == WAIT_OBJECT_0) {
            // An ended worker's last words are in the pipe already.
            return PeekNamedPipe(m_hAnswers, nullptr, 0, nullptr, &available, nullptr) && available >= size
                       ? kDone
                       : kFailed;
        }
    }
}

CConvertWorker::Outcome CConvertWorker::Receive(std::string& message) {
    UINT32 length = 0;
    Outcome outcome = Await(sizeof length);
    if (outcome != kDone)
        return outcome;
    if (!ReadExactly(m_hAnswers, &length, sizeof length) || length > (1u << 20))
        return kFailed;
    message.resize(length);
    if (length == 0)
        return kDone;
    outcome = Await(length);
    if (outcome != kDone)
        return outcome;
    return ReadExactly(m_hAnswers, &message[0], length) ? kDone : kFailed;
}

// The worker's first words name its exchange file. Read from an ended worker, they
// are taken only when whole: Await does not wait on a process that is gone.
CConvertWorker::Outcome CConvertWorker::ReadHello() {
    std::string hello;
    Outcome outcome = Receive(hello);
    if (outcome == kDone && (!CMessage(hello).Get(m_strExchangePath) || m_strExchangePath.empty()))
        outcome = kFailed;
    return outcome;
}

// Starts a worker without waiting for its hello: two workers start side by side.
CConvertWorker::Outcome CConvertWorker::Start() {
    char program[MAX_PATH * 2];
    if (!SiblingProgramPath("kestrel_worker", program, sizeof program))
        return kNotStarted;
    // The worker's ends are inherited, and their numbers go on its command line.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE jobs = nullptr, answers = nullptr;
    if (!CreatePipe(&jobs, &m_hJobs, &inherited, 1 << 16))
        return kNotStarted;
    if (!CreatePipe(&m_hAnswers, &answers, &inherited, 1 << 16)) {
        CloseHandle(jobs);
        End(false);
        return kNotStarted;
    }
    SetHandleInformation(m_hJobs, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_hAnswers, HANDLE_FLAG_INHERIT, 0);
    std::vector<char> command(strlen(program) + 48);
    snprintf(command.data(), command.size(), "\"%s\" %lx %lx", program, (unsigned long)(ULONG_PTR)jobs,
             (unsigned long)(ULONG_PTR)answers);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    BOOL started =
        CreateProcessA(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    // Only the worker holds its ends now: when it dies, reading its answers fails.
    CloseHandle(jobs);
    CloseHandle(answers);
    if (!started) {
        End(false);
        return kNotStarted;
    }
    CloseHandle(process.hThread);
    m_hProcess = process.hProcess;
    return kDone;
}

void CConvertWorker::End(bool kill) {
    if (m_hJobs)
        CloseHandle(m_hJobs); // a worker that still runs reads the end of its jobs
    if (m_hProcess) {
        // A worker that was asked to end lets go of its exchange file itself.
        bool ended = !kill && WaitForSingleObject(m_hProcess, 3000) == WAIT_OBJECT_0;
        if (!ended) {
            TerminateProcess(m_hProcess, 1);
            WaitForSingleObject(m_hProcess, 5000);
            if (m_strExchangePath.empty())
                ReadHello();
            if (!m_strExchangePath.empty())
                DeleteFileA(m_strExchangePath.c_str());
        }
        CloseHandle(m_hProcess);
    }
    if (m_hAnswers)
        CloseHandle(m_hAnswers);
    m_hJobs = m_hAnswers = m_hProcess = nullptr;
    m_strExchangePath.clear();
}

bool CConvertWorker::ShowAnswer(const std::string& answer) {
    CMessage reader(answer);
    int error = 0, boxes = 0;
    if (!reader.Get(error) || !reader.Get(boxes))
        return false;
    g_nLastImageError = error;
    for (int i = 0; i < boxes; ++i) {
        UINT64 boxOwner = 0;
        std::string text, caption;
        if (!reader.Get(boxOwner) || !reader.Get(text) || !reader.Get(caption))
            return false;
        // The engine's boxes leave their text in g_szMessage; so do these.
        lstrcpynA(g_szMessage, text.c_str(), kPathSize);
        MessageBoxA((HWND)(ULONG_PTR)boxOwner, text.c_str(), caption.c_str(), MB_OK);
    }
    return true;
}

void CConvertWorker::Begin(HWND owner, DeepeningRule rule) {
    if (m_bBusy)
        Finish();
    m_bBusy = true;
    s_busy.push_back(this);
    m_hOwner = owner;
    m_strSource = g_szSourcePath;
    m_dwDeadline = GetTickCount() + s_progressTimeout;
    m_outcome = m_hProcess ? kDone : Start();
    if (m_outcome != kDone)
        return;
    CMessage job;
    job.Put(g_szSourcePath).Put(g_szTargetPath).Put((UINT64)(ULONG_PTR)owner).Put((int)rule);
    job.Put(g_nJpegQuality).Put((int)ilGetInteger(IL_PNG_INTERLACE));
    // A job is far smaller than the pipe's buffer, and the worker reads each before
    // it works on it: this write never waits for the worker.
    if (!WriteAll(m_hJobs, job.Bytes()))
        m_outcome = kFailed;
}

void CConvertWorker::Finish() {
    if (!m_bBusy)
        return;
    Outcome outcome = m_outcome;
    if (outcome == kDone && m_strExchangePath.empty())
        outcome = ReadHello();
    std::string answer;
    if (outcome == kDone)
        outcome = Receive(answer);
    s_busy.erase(std::remove(s_busy.begin(), s_busy.end(), this), s_busy.end());
    m_bBusy = false;
    if (outcome == kNotStarted) {
        End(false);
        ReportFailure(m_hOwner, "the converter kestrel_worker.exe could not be started");
        return;
    }
    if (outcome == kDone && ShowAnswer(answer))
        return;
    End(true);
    g_nLastImageError = IL_INTERNAL_ERROR;
    char what[kPathSize + 64];
    snprintf(what, sizeof what, "the image library %s on %s", outcome == kTooLong ? "took too long" : "failed",
             FileNameOf(m_strSource.c_str()));
    ReportFailure(m_hOwner, what);
}

int RunConvertWorker(HANDLE jobs, HANDLE answers) {
    ilInit();
    iluInit();
    ilutInit();
    ReserveExchangeFile();
    if (!WriteAll(answers, CMessage().Put(g_szExchangePath).Bytes())) {
        ReleaseExchangeFile();
        return 1;
    }
    SetBoxSink(CollectBox);
    std::string bytes;
    while (ReadMessage(jobs, bytes)) {
        CMessage job(bytes);
        std::string source, target;
        UINT64 owner = 0;
        int rule = 0, quality = 0, interlace = 0;
        if (!job.Get(source) || !job.Get(target) || !job.Get(owner) || !job.Get(rule) || !job.Get(quality) ||
            !job.Get(interlace) || !CopyPath(g_szSourcePath, source.c_str()) ||
            !CopyPath(g_szTargetPath, target.c_str()))
            break;
        g_nJpegQuality = quality;
        ilSetInteger(IL_PNG_INTERLACE, interlace);
        CMessage boxes;
        s_pBoxes = &boxes;
        s_nBoxes = 0;
        if (!NeedsStaging())
            ConvertFile(false);
        else if (StageSource((HWND)(ULONG_PTR)owner, (DeepeningRule)rule))
            ConvertFile(true);
        CMessage answer;
        answer.Put(g_nLastImageError).Put(s_nBoxes);
        if (!WriteAll(answers, answer.Bytes() + boxes.Bytes()))
            break;
    }
    SetBoxSink(nullptr);
    ReleaseExchangeFile();
    return 0;
}
