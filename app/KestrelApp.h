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

// Reserves kstmp<N>.bmp in the temporary folder (the first N not taken) and keeps
// it open, unshared, as the exchange file.
void ReserveExchangeFile();
// Closes and deletes the exchange file; safe to call more than once.
void ReleaseExchangeFile();
