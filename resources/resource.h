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

// The image viewer: its dialog, menu and keys.
#define IDD_IMAGE_VIEWER 134
#define IDR_VIEWER_MENU 133
#define IDR_VIEWER_KEYS 136
#define ID_FILE_CONVERT 32776
#define ID_FILE_PRINT_IMAGE 32777
#define ID_RESIZE_SMALLER 32778
#define ID_RESIZE_ORIGINAL 32779
#define ID_RESIZE_LARGER 32780
#define ID_FILE_PROPERTIES 32786
#define ID_FILE_SAVE_RESIZED 32791
#define ID_RESIZE_PERCENTAGE 32792
#define ID_ENTER_KEY 32793
#define ID_COPY_IMAGE 32794
#define ID_RESIZE_FIT 32795

// The percentage dialog of the viewer's "Resize by Percentage".
#define IDD_SCALE 138
#define IDC_SCALE_PERCENT 1004
#define IDC_SCALE_SPIN 1020

// The properties box of the viewer.
#define IDD_PROPERTIES 135
#define IDC_PROP_LOCATION 1005
#define IDC_PROP_SIZE 1006
#define IDC_PROP_TYPE 1007
#define IDC_PROP_WIDTH 1008
#define IDC_PROP_HEIGHT 1009
#define IDC_PROP_COLORS 1010

// The options dialog.
#define IDD_OPTIONS 137
#define IDC_OPTIONS_STARTUP 1011
#define IDC_OPTIONS_MAXIMIZED 1012
#define IDC_OPTIONS_INTERLACE 1013
#define IDC_OPTIONS_QUICK_LAUNCH 1014
#define IDC_OPTIONS_QUALITY 1015
#define IDC_OPTIONS_QUALITY_SPIN 1016
#define IDC_OPTIONS_DESKTOP 1017

// The progress window of a long batch conversion.
#define IDD_BATCH_PROGRESS 139
#define IDC_BATCH_COUNT 1021
#define IDC_BATCH_NAME 1022
