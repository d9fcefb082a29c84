// The program module: its one application object and the entry point.
#include "app/KestrelApp.h"

CKestrelApp theApp;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow) {
    return AfxWinMain(hInstance, lpCmdLine, nCmdShow);
}
