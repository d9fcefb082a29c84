// The options dialog: the viewer's maximised start, PNG interlacing and JPEG
// quality, plus three boxes that only show what the profile holds.
#pragma once
#include "framework/Dialog.h"

const UINT kOptionsDlgTemplate = 137;

// Both ends kept by the quality box and by OK.
const int kMinJpegQuality = 1;
const int kMaxJpegQuality = 99;

// A quality read from the box as the signed number it is, brought into 1..99.
int ClampJpegQuality(int quality);

class COpitonsDlg : public CDialog {
public:
    COpitonsDlg() : CDialog(kOptionsDlgTemplate) {}

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnQualityChange();

    DECLARE_MESSAGE_MAP()
};

// Runs the dialog modally without a parent; its result does not matter.
void RunOptionsDialog();

// What the ID_OPTIONS command does in every window: the dialog, then the two image
// library settings handed to the library again, whichever button closed it.
void RunOptionsAndApply();
