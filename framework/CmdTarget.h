// Message maps: a plain table per class from window messages and command ids to
// handlers, chained to the base class's table.
#pragma once
#include <windows.h>

class CCmdTarget;

typedef LRESULT (*AfxHandler)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct MessageMapEntry {
    UINT message; // window message; WM_COMMAND for commands
    UINT id;      // command id for WM_COMMAND, 0 otherwise
    AfxHandler handler;
};

struct MessageMap {
    const MessageMap* (*base)();
    const MessageMapEntry* entries;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Runs the handler this object's map chain has for the message; false when none.
    bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Runs the handler for a command id; false when the chain has none.
    bool DispatchCommand(UINT id);

    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;
};

// The entry macros are laid out by hand, one table row per macro.
// clang-format off
#define DECLARE_MESSAGE_MAP()                                                                                  \
public:                                                                                                        \
    static const MessageMap* GetThisMessageMap();                                                              \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                 \
    const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }                          \
    const MessageMap* theClass::GetThisMessageMap() {                                                          \
        typedef theClass ThisClass;                                                                            \
        typedef baseClass TheBaseClass;                                                                        \
        static const MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                                                      \
    {0, 0, nullptr}                                                                                            \
    }                                                                                                          \
    ;                                                                                                          \
    static const MessageMap map = {&TheBaseClass::GetThisMessageMap, entries};                                 \
    return &map;                                                                                               \
    }

#define AFX_THIS(t) static_cast<ThisClass*>(t)

#define ON_COMMAND(id, fn)                                                                                     \
    {WM_COMMAND, (UINT)(id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { AFX_THIS(t)->fn(); return 0; }},

// A control's notification: the entry takes the control's commands, and only the
// given code reaches the handler.
#define ON_CONTROL(code, id, fn)                                                                               \
    {WM_COMMAND, (UINT)(id), [](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT {                                  \
         if (HIWORD(w) == (code)) AFX_THIS(t)->fn();                                                           \
         return 0;                                                                                             \
     }},
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)

#define ON_MESSAGE(msg, fn)                                                                                    \
    {(UINT)(msg), 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT { return AFX_THIS(t)->fn(w, l); }},

#define ON_WM_CREATE()                                                                                         \
    {WM_CREATE, 0, [](CCmdTarget* t, WPARAM, LPARAM l) -> LRESULT {                                            \
         return AFX_THIS(t)->OnCreate(reinterpret_cast<LPCREATESTRUCTA>(l));                                   \
     }},

#define ON_WM_DESTROY()                                                                                        \
    {WM_DESTROY, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { AFX_THIS(t)->OnDestroy(); return 0; }},

#define ON_WM_CLOSE()                                                                                          \
    {WM_CLOSE, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { AFX_THIS(t)->OnClose(); return 0; }},

#define ON_WM_PAINT()                                                                                          \
    {WM_PAINT, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { AFX_THIS(t)->OnPaint(); return 0; }},

#define ON_WM_ERASEBKGND()                                                                                     \
    {WM_ERASEBKGND, 0, [](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT {                                        \
         return AFX_THIS(t)->OnEraseBkgnd(reinterpret_cast<HDC>(w));                                           \
     }},

#define ON_WM_TIMER()                                                                                          \
    {WM_TIMER, 0, [](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT { AFX_THIS(t)->OnTimer(w); return 0; }},

#define AFX_MOUSE_ENTRY(msg, fn)                                                                               \
    {msg, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {                                                \
         POINT pt = {(short)LOWORD(l), (short)HIWORD(l)};                                                      \
         AFX_THIS(t)->fn((UINT)w, pt);                                                                         \
         return 0;                                                                                             \
     }},
#define ON_WM_LBUTTONDOWN() AFX_MOUSE_ENTRY(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MOUSE_ENTRY(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_RBUTTONDOWN() AFX_MOUSE_ENTRY(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_MOUSEMOVE() AFX_MOUSE_ENTRY(WM_MOUSEMOVE, OnMouseMove)

#define ON_WM_SIZE()                                                                                           \
    {WM_SIZE, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {                                            \
         AFX_THIS(t)->OnSize((UINT)w, (short)LOWORD(l), (short)HIWORD(l));                                     \
         return 0;                                                                                             \
     }},

#define AFX_SCROLL_ENTRY(msg, fn)                                                                              \
    {msg, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {                                                \
         AFX_THIS(t)->fn(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l));                                     \
         return 0;                                                                                             \
     }},
#define ON_WM_HSCROLL() AFX_SCROLL_ENTRY(WM_HSCROLL, OnHScroll)
#define ON_WM_VSCROLL() AFX_SCROLL_ENTRY(WM_VSCROLL, OnVScroll)

#define ON_WM_SYSCOMMAND()                                                                                     \
    {WM_SYSCOMMAND, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {                                      \
         AFX_THIS(t)->OnSysCommand((UINT)w, l);                                                                \
         return 0;                                                                                             \
     }},

#define ON_WM_DROPFILES()                                                                                      \
    {WM_DROPFILES, 0, [](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT {                                         \
         AFX_THIS(t)->OnDropFiles(reinterpret_cast<HDROP>(w));                                                 \
         return 0;                                                                                             \
     }},
// clang-format on
