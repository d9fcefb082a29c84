// Resource and command identifiers shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_WELCOME 102
#define IDR_MAINFRAME 128 // the application icon
#define IDR_TRAYMENU 129

#define IDS_APP_TITLE 57344
#define IDS_FAILED_TO_LAUNCH_HELP 61703

// Controls of the welcome dialog.
#define IDC_SHOW_HELP_FILE 1002
#define IDC_ADD_DESKTOP_ICON 1018
#define IDC_ADD_QUICK_LAUNCH 1019

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
