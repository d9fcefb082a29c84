// Holds one hidden window for the whole test run. Wine's desktop process ends when
// no window is left and the next test that opens one starts a new desktop, which
// inherits the test runner's output and keeps it waiting while it lingers.
#include <windows.h>

int main() {
    HWND anchor = CreateWindowExA(0, "STATIC", "KestrelTestAnchor", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!anchor)
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
