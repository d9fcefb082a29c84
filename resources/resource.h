// Resource and command identifiers shared by the resource script and the code.
#pragma once

#define IDR_MAINFRAME 128 // the application icon
#define IDR_TRAYMENU 129

#define IDS_APP_TITLE 57344

// Tray menu commands.
#define ID_HELP_CONTENTS 32772
#define ID_VIEW_IMAGE_FILE 32781
#define ID_CONVERT_FILE 32782
#define ID_BATCH_CONVERT 32783
#define ID_CAPTURE 32785
#define ID_OPTIONS 32787
#define ID_CAPTURE_FULL_SCREEN 32797
#ifndef ID_APP_ABOUT
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#endif
