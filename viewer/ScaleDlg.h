// The percentage dialog of "Resize by Percentage": 10 to 500, 100 at the start.
#pragma once
#include "framework/Dialog.h"

const UINT kScaleDlgTemplate = 138;

class CScaleDlg : public CDialog {
public:
    CScaleDlg() : CDialog(kScaleDlgTemplate), m_dFactor(1.0) {}

    double m_dFactor; // the percentage / 100, set on OK only

    BOOL OnInitDialog() override;
    void OnOK() override;
};
