// The application object: start-up decides between tray, quick-menu and viewer mode.
#pragma once
#include "app/SingleInstance.h"

class CKestrelApp : public CSingleInstanceApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

    DECLARE_MESSAGE_MAP()

private:
    void RunViewerMode(const char* cmdLine);
};
