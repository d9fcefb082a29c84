#include "convert/FormatTable.h"
#include <windows.h>
#include <cstring>

// The texts are exactly what the dialogs show, quirks included ("*pcd", "*.pxr",
// "*.ico, *.cur", the "|" in the Alias entry).
const FilterEntry OpenFilterTable[] = {
    {"Image Files (All Supported Types)",
     "*.jpg;*.jpe;*.jpeg;*.lif;*.bmp;*.ico;*.gif;*.pbm;*.pgm;*.pnm;*.ppm;*.png;*.bw;*.rgb;*.rgba;"
     "*.sgi;*.tga;*.tif;*.tiff;*.pcx;*.xpm;*.psp;*.psd;*.pix;*.pxr;*.cut;*.dcx;*.mdl;*.wal;*pcd"},
    {"Jpeg Files (*.jpg, *.jpe, *.jpeg)", "*.jpg;*.jpe;*.jpeg"},
    {"Portable Network Graphics Files (*.png)", "*.png"},
    {"Microsoft Bitmap Files (*.bmp)", "*.bmp"},
    {"Targa Files (*.tga, *.vda, *.icb, *.vst)", "*.tga;*.vda;*.icb;*.vst"},
    {"PhotoShop Files (*.psd)", "*.psd"},
    {"Tiff Files (*.tif)", "*.tif;*.tiff"},
    {"Microsoft Icon Files (*.ico, *.cur)", "*.ico, *.cur"},
    {"Graphics Interchange Format (*.gif)", "*.gif"},
    {"Portable AnyMap Files (*.ppm, *.pgm, *.pnm, *.pbm)", "*.ppm;*.pgm;*.pnm;*.pbm"},
    {"Alias|Wavefront Files (*.pix)", "*.pix"},
    {"Cut Files (*.cut)", "*.cut"},
    {"Dcx Files (*.dcx)", "*.dcx"},
    {"Half-Life Model Files (*.mdl)", "*.mdl"},
    {"Homeworld Image Files (*.lif)", "*.lif"},
    {"Kodak Photo CD Files (*.pcd)", "*.pcd"},
    {"Multiple Network Graphics Files (*.mng)", "*.mng"},
    {"Paint Shop Pro Files (*.psp)", "*.psp"},
    {"Pic Files (*.pic)", "*.pic"},
    {"Pixar Files (*.pix)", "*.pix"},
    {"Sgi Files (*.sgi)", "*.bw;*.rgb;*.rgba;*.sgi"},
    {"Quake Wal Files (*.wal)", "*.wal"},
    {"X PixelMap (*.xpm)", "*.xpm"},
    {"ZSoft Pcx Files (*.pcx)", "*.pcx"},
    {"All Files (*.*)", "*.*"},
    {"", ""},
};

const FilterEntry SaveFilterTable[] = {
    {"Portable Network Graphics Files (*.png)", "*.png"},
    {"Jpeg Files (*.jpg, *.jpe, *.jpeg)", "*.jpg;*.jpe;*.jpeg"},
    {"Microsoft Bitmap Files (*.bmp)", "*.bmp"},
    {"Targa Files (*.tga)", "*.tga"},
    {"PhotoShop Files (*.psd)", "*.psd"},
    {"Tiff Files (*.tif)", "*.tif"},
    {"Graphics Interchange Format (*.gif)", "*.gif"},
    {"Portable AnyMap Files (*.ppm, *.pgm, *.pbm)", "*.ppm;*.pgm;*.pbm"},
    {"Sgi Files (*.sgi)", "*.bw;*.rgb;*.rgba;*.sgi"},
    {"ZSoft Pcx Files (*.pcx)", "*.pcx"},
    {"", ""},
};

const char* const ViewableExtensions[] = {
    "jpg", "jpe", "jpeg", "lif", "bmp", "ico", "gif",  "pbm", "pgm", "pnm", "ppm", "png",
    "bw",  "rgb", "rgba", "sgi", "tga", "tif", "tiff", "pcx", "xpm", "psp", "psd", "pix",
    "cut", "dcx", "mdl",  "wal", "vda", "vst", "icb",  "cur", "mng", "pic", "",
};

char g_szOpenFilter[kFilterBufferSize];
char g_szSaveFilter[kFilterBufferSize];

char* BuildFilterString(char* buffer, const FilterEntry* table) {
    char* out = buffer;
    for (const FilterEntry* entry = table; entry->description[0] != 0; ++entry) {
        const char* texts[2] = {entry->description, entry->patterns};
        for (const char* text : texts) {
            size_t length = strlen(text) + 1;
            memcpy(out, text, length);
            out += length;
        }
    }
    // The last pattern's terminator plus two more: the list's end mark.
    out[0] = out[1] = 0;
    return buffer;
}

namespace {

bool EndsWith(const char* name, const char* suffix) {
    size_t nameLength = name ? strlen(name) : 0;
    size_t suffixLength = strlen(suffix);
    if (nameLength < suffixLength)
        return false;
    return lstrcmpiA(name + nameLength - suffixLength, suffix) == 0;
}

// One row of a name rule: the first row with a matching suffix decides.
struct NameRule {
    const char* suffixes[5]; // ended by a null entry
    int index;
};

int IndexForName(const char* name, const NameRule* rules, size_t count, int fallback) {
    for (size_t i = 0; i < count; ++i)
        for (const char* const* suffix = rules[i].suffixes; *suffix; ++suffix)
            if (EndsWith(name, *suffix))
                return rules[i].index;
    return fallback;
}

const NameRule kOpenRules[] = {
    {{"jpg", "jpe", "jpeg"}, 2},
    {{"png"}, 3},
    {{".bmp"}, 4},
    {{"tga", "vda", "icb", "vst"}, 5},
    {{"psd"}, 6},
    {{"tif", "tiff"}, 7},
    {{"ico", "cur"}, 8},
    {{".gif"}, 9},
    {{"ppm", "pgm", "pnm", "pbm"}, 10},
    {{"pix"}, 11},
    {{"cut"}, 12},
    {{"dcx"}, 13},
    {{"mdl"}, 14},
    {{"lif"}, 15},
    {{"pcd"}, 16},
    {{"mng"}, 17},
    {{"psp"}, 18},
    {{"pic"}, 19},
    {{"bw", "rgb", "rgba", "sgi"}, 21},
    {{"wal"}, 22},
    {{"xpm"}, 23},
    {{"pcx"}, 24},
};

// Everything the program cannot write falls to "Jpeg Files".
const NameRule kSaveRules[] = {
    {{"png"}, 1},         {{".bmp"}, 3}, {{"tga", "vda", "icb", "vst"}, 4}, {{"psd"}, 5},
    {{"tif", "tiff"}, 6}, {{"gif"}, 7},  {{"ppm", "pgm", "pnm", "pbm"}, 8}, {{"bw", "rgb", "rgba", "sgi"}, 9},
    {{"pcx"}, 10},
};

} // namespace

int OpenFilterIndexForName(const char* name) {
    return IndexForName(name, kOpenRules, sizeof kOpenRules / sizeof kOpenRules[0], 1);
}

int SaveFilterIndexForName(const char* name) {
    return IndexForName(name, kSaveRules, sizeof kSaveRules / sizeof kSaveRules[0], 2);
}

bool IsBmpName(const char* name) {
    return EndsWith(name, ".bmp");
}

bool IsGifName(const char* name) {
    return EndsWith(name, ".gif");
}
