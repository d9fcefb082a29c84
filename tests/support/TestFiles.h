// Files for tests that look at them from both sides: by DOS path through Win32, and
// by host path for native tools and the C library.
#pragma once
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "framework/HostPath.h"

namespace testfiles {

// The host form of a DOS path; empty when it cannot be translated.
inline std::string HostPath(const std::string& dosPath) {
    char host[MAX_PATH * 4];
    return HostPathFor(dosPath.c_str(), host, sizeof host) ? host : "";
}

// Every byte of the file; empty when it cannot be read.
inline std::vector<BYTE> ReadFileBytes(const std::string& dosPath) {
    std::vector<BYTE> bytes;
    FILE* f = HostFopen(dosPath.c_str(), "rb");
    if (!f)
        return bytes;
    int c;
    while ((c = fgetc(f)) != EOF)
        bytes.push_back((BYTE)c);
    fclose(f);
    return bytes;
}

} // namespace testfiles
