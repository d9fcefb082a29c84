// Test helper: shows a BMP file full-screen at the bottom of the window stack, as
// a desktop picture that repaints itself (the bare X root does not keep one).
// It never takes the focus or comes to the front. Runs until killed.
#include <windows.h>

namespace {
HBITMAP g_hPattern;

LRESULT CALLBACK PatternProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hWnd, &ps);
        HDC memory = CreateCompatibleDC(hdc);
        HGDIOBJ old = SelectObject(memory, g_hPattern);
        BitBlt(hdc, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), memory, 0, 0,
               SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_WINDOWPOSCHANGING:
        reinterpret_cast<WINDOWPOS*>(lParam)->flags |= SWP_NOZORDER;
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}
} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    g_hPattern = static_cast<HBITMAP>(LoadImageA(nullptr, lpCmdLine, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!g_hPattern)
        return 2;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PatternProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "KestrelTestPattern";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, "pattern", WS_POPUP, 0,
                                0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                                nullptr, hInstance, nullptr);
    ShowWindow(hWnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hWnd);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DeleteObject(g_hPattern);
    return 0;
}
