// What the GIF writer and reader share: the LZW limits and the way their fatal
// paths end the process.
#pragma once
#include <windows.h>
#include <cstdio>
#include <cstdlib>

const int kGifMaxBits = 12;                // no code is wider
const int kGifMaxCodes = 1 << kGifMaxBits; // 4096 codes in a table
const int kGifHashSize = 5003;             // prime, about 80% occupancy at 4096 codes
const int kGifHashShift = 4;               // 8 minus the doublings that take 5003 to 65536

// Exit status of the fatal paths, and of a file that ends before the wanted image.
const int kGifExitFailed = 5;
const int kGifExitNoImage = 1;

#ifdef KESTREL_FUZZING
// The fuzz harness must survive a fatal path to go on with the next input, so
// there the exit becomes an exception that it catches.
struct GifExit {
    int status;
};
[[noreturn]] inline void GifExitProcess(int status) {
    throw GifExit{status};
}
#else
// Ends at once, without the program's own shutdown. The C streams are flushed as
// the C library's exit would; ExitProcess makes the status what every parent
// process sees, also where the C library is not the platform's own.
[[noreturn]] inline void GifExitProcess(int status) {
    fflush(NULL);
    ExitProcess((UINT)status);
}
#endif
