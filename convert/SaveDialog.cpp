#include "convert/SaveDialog.h"
#include <dlgs.h>
#include <cstdlib>
#include <cstring>
#include "convert/Globals.h"
#include "convert/FormatTable.h"
#include "framework/WinApp.h"
#include "imaging/Clipboard.h"
#include "imaging/Dib.h"

OPENFILENAMEA g_ofnSave;
BOOL g_bSaveForCapture = FALSE;
WORD g_nCaptureDepth = 24;

// The last capture, owned by the capture code of the tray window.
HBITMAP g_hCaptureBitmap = nullptr;

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

bool AddDefaultExtension(char* path) {
    static const char kDefaultExtension[] = ".png";
    if (strchr(path, '.'))
        return true;
    if (strlen(path) + strlen(kDefaultExtension) >= (size_t)kPathSize)
        return false;
    strcat(path, kDefaultExtension);
    return true;
}

void PrepareSaveDialog(HWND owner, const char* title, BOOL forCapture) {
    g_bSaveForCapture = forCapture;
    g_ofnSave.nFilterIndex = SaveFilterIndexForName(g_szTargetPath);
    g_ofnSave.hwndOwner = owner;
    g_ofnSave.hInstance = AfxGetInstanceHandle();
    g_ofnSave.lpstrTitle = title;
    g_ofnSave.lpTemplateName = MAKEINTRESOURCEA(kSaveDialogTemplate);
    g_ofnSave.lpfnHook = SaveDialogHook;
}

namespace {

const int kNameFieldSize = 256;
const UINT kRestoreNameMessage = WM_APP + 0x153;

// The name the last type change proposed.
char s_szProposedName[kNameFieldSize];

// Keys found in the type descriptions; the last one found wins.
struct ExtensionKey {
    const char* key;
    const char* extension;
};
const ExtensionKey kExtensionKeys[] = {
    {"jpg", ".jpg"}, {"bmp", ".bmp"}, {"ppm", ".ppm"}, {"tga", ".tga"}, {"gif", ".gif"},
    {"tif", ".tif"}, {"psd", ".psd"}, {"pcx", ".pcx"}, {"sgi", ".sgi"},
};

struct DepthButton {
    int id;
    WORD depth;
};
const DepthButton kDepthButtons[] = {
    {IDC_DEPTH_2_COLORS, 1},
    {IDC_DEPTH_16_COLORS, 4},
    {IDC_DEPTH_256_COLORS, 8},
    {IDC_DEPTH_24_BIT, 24},
};

const char* ExtensionForDescription(const char* description) {
    const char* extension = ".png";
    for (const ExtensionKey& key : kExtensionKeys)
        if (strstr(description, key.key))
            extension = key.extension;
    return extension;
}

void OnInitDialog(HWND hDlg) {
    // Room for the extra controls at the right edge.
    RECT rc;
    GetWindowRect(hDlg, &rc);
    rc.right += 8;
    MoveWindow(hDlg, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);

    if (g_bSaveForCapture) {
        int checked = IDC_DEPTH_24_BIT;
        for (const DepthButton& button : kDepthButtons)
            if (button.depth == g_nCaptureDepth)
                checked = button.id;
        CheckRadioButton(hDlg, IDC_DEPTH_2_COLORS, IDC_DEPTH_24_BIT, checked);
    } else {
        for (int id : {IDC_DEPTH_2_COLORS, IDC_DEPTH_16_COLORS, IDC_DEPTH_256_COLORS, IDC_DEPTH_24_BIT,
                       IDC_SAVE_TO_CLIPBOARD})
            ShowWindow(GetDlgItem(hDlg, id), SW_HIDE);
    }
}

// The name keeps up with the chosen type. Everything from the last "." on is
// replaced, even a "." in a folder name; a name that cannot take the new extension
// within the field's 255 characters is left as it is.
void OnSelectionChange(HWND hDlg) {
    char description[kNameFieldSize] = "";
    GetDlgItemTextA(hDlg, cmb1, description, sizeof description);
    const char* extension = ExtensionForDescription(description);

    char name[kNameFieldSize] = "";
    GetDlgItemTextA(hDlg, edt1, name, sizeof name);
    char* dot = strrchr(name, '.');
    size_t keep = dot ? (size_t)(dot - name) : strlen(name);
    if (keep + strlen(extension) < sizeof name) {
        strcpy(name + keep, extension);
        SetDlgItemTextA(hDlg, edt1, name);
    }
    // Some dialogs answer a type change by showing the type's patterns in the name
    // field after us; the name is put back once they are done.
    lstrcpynA(s_szProposedName, name, sizeof s_szProposedName);
    PostMessageA(hDlg, kRestoreNameMessage, 0, 0);
}

void OnRestoreName(HWND hDlg) {
    char name[kNameFieldSize] = "";
    GetDlgItemTextA(hDlg, edt1, name, sizeof name);
    if (strpbrk(name, "*?"))
        SetDlgItemTextA(hDlg, edt1, s_szProposedName);
}

void OnButton(HWND hDlg, int id) {
    for (const DepthButton& button : kDepthButtons) {
        if (button.id == id) {
            g_nCaptureDepth = button.depth;
            CheckRadioButton(hDlg, IDC_DEPTH_2_COLORS, IDC_DEPTH_24_BIT, id);
            return;
        }
    }
    if (id == IDC_SAVE_TO_CLIPBOARD) {
        PutBitmapOnClipboard(hDlg, g_hCaptureBitmap);
        // Closes like a cancel: the caller saves nothing.
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
    }
}

} // namespace

UINT_PTR CALLBACK SaveDialogHook(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    if (uMsg == WM_INITDIALOG) {
        OnInitDialog(hDlg);
    } else if (uMsg == kRestoreNameMessage) {
        OnRestoreName(hDlg);
    } else if (uMsg == WM_COMMAND) {
        // Code 1 is a selection change in the type, drive, file or folder list.
        if (HIWORD(wParam) == 1)
            OnSelectionChange(hDlg);
        else if (HIWORD(wParam) == 0)
            OnButton(hDlg, LOWORD(wParam));
    }
    return 0;
}
