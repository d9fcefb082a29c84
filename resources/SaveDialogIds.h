// Identifiers of the shared save dialog's template and its own controls; the
// standard file-dialog controls use the platform's ids from <dlgs.h>.
#pragma once

#define IDD_SAVE_DIALOG 1537
#define IDC_SAVE_TO_CLIPBOARD 1000
#define IDC_DEPTH_2_COLORS 1001
#define IDC_DEPTH_16_COLORS 1002
#define IDC_DEPTH_256_COLORS 1003
#define IDC_DEPTH_24_BIT 1004
