// The program module: its one application object. The entry point and everything
// else come from the libraries.
#include "app/KestrelApp.h"

CKestrelApp theApp;
