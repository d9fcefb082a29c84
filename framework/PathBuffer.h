// Paths live in fixed buffers of 255 characters and the terminator.
#pragma once
#include <cstring>

const int kPathSize = 256;

// Copies src into a path buffer; false (and dst unchanged) when it does not fit:
// a cut path would name another file.
inline bool CopyPath(char* dst, const char* src) {
    size_t len = strlen(src);
    if (len >= (size_t)kPathSize)
        return false;
    memcpy(dst, src, len + 1);
    return true;
}
