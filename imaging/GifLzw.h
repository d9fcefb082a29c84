// What the GIF writer and reader share: the LZW limits and the way a failure
// leaves a codec.
#pragma once
#include <windows.h>
#include <cstdio>

const int kGifMaxBits = 12;                // no code is wider
const int kGifMaxCodes = 1 << kGifMaxBits; // 4096 codes in a table
const int kGifHashSize = 5003;             // prime, about 80% occupancy at 4096 codes
const int kGifHashShift = 4;               // 8 minus the doublings that take 5003 to 65536

// A read or write that cannot go on unwinds to the entry point of its codec, which
// tidies up and returns the status. Never seen outside the codecs.
struct GifAbandon {
    int status;
};
