#include "convert/SaveDialog.h"
#include <cstring>
#include "app/Globals.h"
#include "convert/FormatTable.h"

OPENFILENAMEA g_ofnSave;

void InitSaveRecord() {
    memset(&g_ofnSave, 0, sizeof g_ofnSave);
    g_ofnSave.lStructSize = sizeof g_ofnSave;
    g_ofnSave.lpstrFilter = g_szSaveFilter;
    g_ofnSave.lpstrFile = g_szTargetPath;
    g_ofnSave.nMaxFile = kPathSize;
    g_ofnSave.lpstrFileTitle = g_szMessage;
    g_ofnSave.nMaxFileTitle = 0;
    g_ofnSave.lpstrInitialDir = g_szLastSaveDir;
    g_ofnSave.Flags = OFN_LONGNAMES | OFN_NONETWORKBUTTON | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK |
                      OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
}
