// At most one tray-resident process per user: a named mutex, and a window class of
// the same name through which a later start finds the resident window.
#pragma once
#include <string>
#include "framework/WinApp.h"

// A second start posts WM_TRAYICON with this to the resident window; it reads as a
// right click on the icon.
const WPARAM kHandOverWParam = 467;

class CSingleInstanceApp : public CWinApp {
public:
    CSingleInstanceApp() = default;
    ~CSingleInstanceApp() override;

    // TRUE: this process holds the instance name and its window class is registered.
    // FALSE: another process holds it (and was told to show its menu), or the class
    // could not be registered (the user was told).
    BOOL ClaimSingleInstance(UINT nIconId);
    std::string GetInstanceClassName() const { return m_strInstanceClassName; }

    // The instance name for the given parts, as "%s:%x:%x:%x:%x" (or the short form
    // when neither cursor nor icon exists).
    static std::string BuildInstanceName(const std::string& appName, DWORD_PTR instance, UINT style,
                                         HCURSOR cursor, HICON icon);

protected:
    HANDLE m_hInstanceMutex = nullptr;
    std::string m_strInstanceClassName;
};
