// The viewer's properties box: where the file is, its size and type, the image's
// pixel size and colour resolution.
#pragma once
#include <windows.h>
#include "framework/Dialog.h"

const UINT kPropDlgTemplate = 135;

// The type text for a file name: the description of the open-table entry its
// ending picks, without the patterns and with "Files" made "File". buffer holds
// 256 characters.
void PropertiesTypeText(const char* path, char* buffer, size_t size);
// Colour code of a bit depth: 2, 16 or 256 colours, or 1 / 0 / -1 for 16, 24 and
// 32 bits.
int PropertiesColorCode(int bitsPerPixel);
// "256 Colors", "24 Bit", ... for a colour code.
void PropertiesColorText(int colors, char* buffer, size_t size);

class CPropDlg : public CDialog {
public:
    CPropDlg() : CDialog(kPropDlgTemplate) {}

    char m_szPath[256] = "";
    char m_szType[256] = "";
    int m_nWidth = 0;
    int m_nHeight = 0;
    DWORD m_dwFileSize = 0;
    int m_nColors = 0;
    // The file's whole length; the box leaves the size out when it could not be read.
    ULONGLONG m_nFileLength = 0;
    bool m_bSizeKnown = false;

    BOOL OnInitDialog() override;
};

// Reads the file's size and runs the box modally without a parent.
void ShowProperties(const char* path, const char* type, int width, int height, int colors);
