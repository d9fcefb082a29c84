// The application object: start-up decides between tray, quick-menu and viewer mode.
#pragma once
#include "app/SingleInstance.h"

class CKestrelApp : public CSingleInstanceApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;
    // Options from the tray menu or a viewer: neither window handles it, so the
    // command comes here.
    void OnOptions();

    DECLARE_MESSAGE_MAP()

private:
    void RunViewerMode(const char* cmdLine);
};
