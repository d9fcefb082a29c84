// placeholder: the tables and rules are being written
#include "convert/FormatTable.h"
const FilterEntry OpenFilterTable[] = {{"", ""}};
const FilterEntry SaveFilterTable[] = {{"", ""}};
const char* const ViewableExtensions[] = {""};
char g_szOpenFilter[kFilterBufferSize];
char g_szSaveFilter[kFilterBufferSize];
char* BuildFilterString(char* buffer, const FilterEntry*) { buffer[0] = buffer[1] = 0; return buffer; }
int OpenFilterIndexForName(const char*) { return 1; }
int SaveFilterIndexForName(const char*) { return 1; }
bool IsBmpName(const char*) { return false; }
bool IsGifName(const char*) { return false; }
