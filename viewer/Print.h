// Printing the viewed image, at its current display size, on a printer.
#pragma once

class CImageDlg;

// Prints the viewer's image on the named printer; the Print command names the
// default printer, and null stands for none being set up. The zoom and the viewer's
// own library image stay as they are; every failure is shown in a "Print Error"
// box owned by the viewer. Nothing happens while the viewer has no image.
void PrintViewedImage(CImageDlg& viewer, const char* printerName);
