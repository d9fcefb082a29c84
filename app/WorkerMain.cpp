// kestrel_worker: the process in which conversions run the image library's loaders.
// The tray starts it with the numbers of its two inherited pipes, jobs and answers;
// started any other way, it ends at once. It claims no instance name and shows no window.
#include <windows.h>
#include <cstdlib>
#include "convert/Worker.h"

namespace {
// A crash ends the process at once: no debugger, no box, nothing left running that
// the tray would wait for.
LONG WINAPI EndAtOnce(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndAtOnce);
    const char* at = lpCmdLine ? lpCmdLine : "";
    HANDLE pipes[2];
    for (HANDLE& pipe : pipes) {
        char* end = nullptr;
        unsigned long long value = strtoull(at, &end, 16);
        if (!value || end == at || GetFileType((HANDLE)(ULONG_PTR)value) != FILE_TYPE_PIPE)
            return 1;
        pipe = (HANDLE)(ULONG_PTR)value;
        at = end;
    }
    if (*at)
        return 1;
    return RunConvertWorker(pipes[0], pipes[1]);
}
