// The program's entry point: hands the process to the one application object.
#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow) {
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->AttachProcess(hInstance, lpCmdLine, nCmdShow);
    int code = app->InitInstance() ? app->Run() : app->ExitInstance();
    return code;
}
