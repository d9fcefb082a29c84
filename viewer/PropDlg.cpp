#include "viewer/PropDlg.h"
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include "convert/FormatTable.h"
#include "framework/File.h"
#include "framework/PathBuffer.h"
#include "resources/resource.h"

namespace {

struct TypeRule {
    const char* endings; // blank-separated, each compared with the end of the path
    int entry;           // 1-based entry of OpenFilterTable
};

// Tried in this order; a later match wins. Jpeg is what no rule matches.
const TypeRule kTypeRules[] = {
    {"png", 3},  {".bmp", 4}, {"tga vda icb vst", 5}, {"psd", 6}, {"tif tiff", 7},
    {"ico cur", 8}, {".gif", 9}, {"ppm pgm pnm pbm", 10}, {"cut", 12}, {"dcx", 13},
    {"mdl", 14}, {"lif", 15}, {"mng", 17}, {"psp", 18}, {"pic", 19}, {"pix", 20},
    {"bw rgb rgba sgi", 21}, {"wal", 22}, {"xpm", 23}, {"pcx", 24},
};
const int kJpegEntry = 2;

bool EndsWith(const char* path, const char* ending, size_t length) {
    size_t n = strlen(path);
    return n >= length && strncasecmp(path + n - length, ending, length) == 0;
}

bool MatchesAny(const char* path, const char* endings) {
    for (const char* p = endings; *p;) {
        size_t length = strcspn(p, " ");
        if (EndsWith(path, p, length))
            return true;
        p += length;
        while (*p == ' ')
            ++p;
    }
    return false;
}

} // namespace

void PropertiesTypeText(const char* path, char* buffer, size_t size) {
    int entry = kJpegEntry;
    for (const TypeRule& rule : kTypeRules)
        if (MatchesAny(path, rule.endings))
            entry = rule.entry;
    snprintf(buffer, size, "%s", OpenFilterTable[entry - 1].description);
    // The text ends before its first parenthesis, less the blank before it.
    if (char* paren = strchr(buffer + (buffer[0] ? 1 : 0), '('))
        *paren = '\0';
    size_t n = strlen(buffer);
    if (n > 0)
        buffer[--n] = '\0';
    if (n >= 5 && strcasecmp(buffer + n - 5, "files") == 0 && n - 5 + sizeof "File" <= size)
        strcpy(buffer + n - 5, "File");
}

int PropertiesColorCode(int bits) {
    if (bits < 4)
        return 2;
    if (bits < 8)
        return 16;
    if (bits < 16)
        return 256;
    if (bits < 24)
        return 1;
    if (bits < 32)
        return 0;
    return -1;
}

void PropertiesColorText(int colors, char* buffer, size_t size) {
    if (colors > 1)
        snprintf(buffer, size, "%d Colors", colors);
    else
        snprintf(buffer, size, "%d Bit", colors == 1 ? 16 : colors == 0 ? 24 : 32);
}

BOOL CPropDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    const char* slash = strrchr(m_szPath, '\\');
    const char* name = slash ? slash + 1 : m_szPath;
    char caption[sizeof m_szPath + 16];
    snprintf(caption, sizeof caption, "%s  Properties", name);
    SetWindowTextA(m_hWnd, caption);
    char folder[sizeof m_szPath] = "";
    if (slash)
        snprintf(folder, sizeof folder, "%.*s", (int)(slash - m_szPath), m_szPath);
    SetDlgItemTextA(m_hWnd, IDC_PROP_LOCATION, folder);
    // The whole length: a file above 2 GiB would show a negative or wrapped number.
    char length[32] = "";
    if (m_bSizeKnown)
        snprintf(length, sizeof length, "%" PRIu64, (uint64_t)m_nFileLength);
    SetDlgItemTextA(m_hWnd, IDC_PROP_SIZE, length);
    SetDlgItemTextA(m_hWnd, IDC_PROP_TYPE, m_szType);
    SetDlgItemInt(m_hWnd, IDC_PROP_WIDTH, m_nWidth, TRUE);
    SetDlgItemInt(m_hWnd, IDC_PROP_HEIGHT, m_nHeight, TRUE);
    char colors[32];
    PropertiesColorText(m_nColors, colors, sizeof colors);
    SetDlgItemTextA(m_hWnd, IDC_PROP_COLORS, colors);
    return TRUE;
}

void ShowProperties(const char* path, const char* type, int width, int height, int colors) {
    CPropDlg dlg;
    // A file gone or locked since it was opened: the box leaves the size out.
    try {
        CFile file;
        if (file.Open(path, CFile::modeRead | CFile::shareDenyNone)) {
            dlg.m_nFileLength = file.GetLength();
            dlg.m_dwFileSize = (DWORD)dlg.m_nFileLength;
            dlg.m_bSizeKnown = true;
            file.Close();
        }
    } catch (CFileException) {
        dlg.m_bSizeKnown = false;
    }
    snprintf(dlg.m_szPath, sizeof dlg.m_szPath, "%s", path);
    snprintf(dlg.m_szType, sizeof dlg.m_szType, "%s", type);
    dlg.m_nWidth = width;
    dlg.m_nHeight = height;
    dlg.m_nColors = colors;
    dlg.DoModal();
}
