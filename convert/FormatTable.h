// The file types the dialogs offer, and the name rules that pick a type or route a
// file to our own BMP and GIF code.
#pragma once
#include <cstddef>

struct FilterEntry {
    const char* description;
    const char* patterns;
};

// Ended by an entry with an empty description.
extern const FilterEntry OpenFilterTable[];
extern const FilterEntry SaveFilterTable[];
// Name endings the viewer accepts, without the dot; ended by an empty one.
extern const char* const ViewableExtensions[];

const size_t kFilterBufferSize = 2048;
extern char g_szOpenFilter[kFilterBufferSize];
extern char g_szSaveFilter[kFilterBufferSize];

// Writes a table in the dialogs' form (description, NUL, patterns, NUL, ..., NUL)
// into buffer (kFilterBufferSize bytes) and returns it.
char* BuildFilterString(char* buffer, const FilterEntry* table);

// 1-based entries of the two tables for a file name or path.
int OpenFilterIndexForName(const char* name);
int SaveFilterIndexForName(const char* name);

// True when the name ends in ".bmp" / ".gif", ignoring case.
bool IsBmpName(const char* name);
bool IsGifName(const char* name);
