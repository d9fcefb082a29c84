// The body of the program's entry point: hands the process to the one application
// object. The program's own WinMain calls it, so test modules keep their main.
#include "framework/WinApp.h"

int AfxWinMain(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow) {
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->AttachProcess(hInstance, lpCmdLine, nCmdShow);
    return app->InitInstance() ? app->Run() : app->ExitInstance();
}
