// Windows of this thread only: CTest runs other cases side by side on the display,
// and a finder that took theirs would drive the wrong dialog.
#pragma once
#include <windows.h>
#include <cstring>

namespace testwindows {

// This thread's visible top-level window with exactly this title, or null.
inline HWND OwnWindowTitled(const char* title) {
    struct Search {
        const char* title;
        HWND found;
        static BOOL CALLBACK Look(HWND hwnd, LPARAM self) {
            auto* search = reinterpret_cast<Search*>(self);
            char text[128] = "";
            GetWindowTextA(hwnd, text, sizeof text);
            if (!IsWindowVisible(hwnd) || strcmp(text, search->title) != 0)
                return TRUE;
            search->found = hwnd;
            return FALSE;
        }
    } search = {title, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), Search::Look, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace testwindows
