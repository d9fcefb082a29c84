#include "tests/support/GTest.h"
#include <windows.h>
#include <cstring>
#include <string>
#include "convert/FormatTable.h"

namespace {

struct NameCase {
    const char* name;
    int openIndex;
    int saveIndex;
    bool isBmp;
    bool isGif;
};

// Every rule row is hit at least once, plus the suffix traps: no dot needed for most
// texts, a dot needed for ".bmp" (both rules) and ".gif" (open rule only), case and
// length limits.
const NameCase kNameCases[] = {
    {"C:\\pics\\Photo.JPEG", 2, 2, false, false},
    {"a.jpg", 2, 2, false, false},
    {"a.jpe", 2, 2, false, false},
    {"photojpg", 2, 2, false, false},
    {"a.png", 3, 1, false, false},
    {"photo.bmp", 4, 3, true, false},
    {"PHOTO.BMP", 4, 3, true, false},
    {"photobmp", 1, 2, false, false},
    {"bmp", 1, 2, false, false},
    {"a.tga", 5, 4, false, false},
    {"a.vda", 5, 4, false, false},
    {"a.icb", 5, 4, false, false},
    {"a.vst", 5, 4, false, false},
    {"a.psd", 6, 5, false, false},
    {"a.tif", 7, 6, false, false},
    {"scan.tiff", 7, 6, false, false},
    {"icon.ico", 8, 2, false, false},
    {"arrow.cur", 8, 2, false, false},
    {"anim.gif", 9, 7, false, true},
    {"ANIM.GIF", 9, 7, false, true},
    {"animgif", 1, 7, false, false},
    {"a.ppm", 10, 8, false, false},
    {"a.pgm", 10, 8, false, false},
    {"a.pnm", 10, 8, false, false},
    {"a.pbm", 10, 8, false, false},
    {"render.pix", 11, 2, false, false},
    {"a.cut", 12, 2, false, false},
    {"a.dcx", 13, 2, false, false},
    {"a.mdl", 14, 2, false, false},
    {"a.lif", 15, 2, false, false},
    {"a.pcd", 16, 2, false, false},
    {"a.mng", 17, 2, false, false},
    {"a.psp", 18, 2, false, false},
    {"a.pic", 19, 2, false, false},
    {"face.bw", 21, 9, false, false},
    {"bw", 21, 9, false, false},
    {"a.rgb", 21, 9, false, false},
    {"a.rgba", 21, 9, false, false},
    {"a.sgi", 21, 9, false, false},
    {"a.wal", 22, 2, false, false},
    {"a.xpm", 23, 2, false, false},
    {"a.pcx", 24, 10, false, false},
    {"", 1, 2, false, false},
    {"w", 1, 2, false, false},
    {"README", 1, 2, false, false},
    {"C:\\a.png\\notes.txt", 1, 2, false, false},
};

TEST(FormatTable, NameRules) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(std::string("name \"") + c.name + "\"");
        EXPECT_EQ(c.openIndex, OpenFilterIndexForName(c.name));
        EXPECT_EQ(c.saveIndex, SaveFilterIndexForName(c.name));
        EXPECT_EQ(c.isBmp, IsBmpName(c.name));
        EXPECT_EQ(c.isGif, IsGifName(c.name));
    }
}

size_t FilterStringLength(const char* filter) {
    const char* p = filter;
    while (p[0] != 0 || p[1] != 0)
        ++p;
    // p is at the last pattern's terminator; two more zeros follow it.
    return p - filter + 3;
}

size_t TableSize(const FilterEntry* table) {
    size_t n = 0;
    while (table[n].description[0] != 0)
        ++n;
    return n;
}

TEST(FormatTable, FilterStringsHaveTheirSizesAndEndInThreeZeros) {
    static char open[kFilterBufferSize], save[kFilterBufferSize];
    memset(open, 'x', sizeof open);
    memset(save, 'x', sizeof save);
    EXPECT_EQ(open, BuildFilterString(open, OpenFilterTable));
    EXPECT_EQ(save, BuildFilterString(save, SaveFilterTable));
    EXPECT_EQ(1115u, FilterStringLength(open));
    EXPECT_EQ(395u, FilterStringLength(save));
    EXPECT_EQ('x', open[1115]); // nothing written past the end mark
    EXPECT_EQ('x', save[395]);
    EXPECT_EQ(25u, TableSize(OpenFilterTable));
    EXPECT_EQ(10u, TableSize(SaveFilterTable));
}

TEST(FormatTable, FilterStringPairsDescriptionsWithPatternsInTableOrder) {
    static char save[kFilterBufferSize];
    BuildFilterString(save, SaveFilterTable);
    const char* p = save;
    for (size_t i = 0; i < TableSize(SaveFilterTable); ++i) {
        EXPECT_STREQ(SaveFilterTable[i].description, p);
        p += strlen(p) + 1;
        EXPECT_STREQ(SaveFilterTable[i].patterns, p);
        p += strlen(p) + 1;
    }
    EXPECT_STREQ("Portable Network Graphics Files (*.png)", save);
    EXPECT_STREQ("Alias|Wavefront Files (*.pix)", OpenFilterTable[10].description);
    EXPECT_STREQ("*.ico, *.cur", OpenFilterTable[7].patterns);
}

TEST(FormatTable, ViewableExtensionsLeaveOutPcd) {
    size_t n = 0;
    bool hasPcd = false;
    for (; ViewableExtensions[n][0] != 0; ++n)
        hasPcd = hasPcd || strcmp(ViewableExtensions[n], "pcd") == 0;
    EXPECT_EQ(34u, n);
    EXPECT_FALSE(hasPcd);
    EXPECT_STREQ("jpg", ViewableExtensions[0]);
    EXPECT_STREQ("pic", ViewableExtensions[33]);
}

} // namespace
