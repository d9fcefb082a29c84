// Converts the file named in g_szSourcePath into the file named in g_szTargetPath:
// a byte copy for names of one type, the image library alone for ordinary formats,
// or a staged route through the exchange file for everything that touches our own
// BMP and GIF code.
//
// Calling order: fill both path buffers; test SameTypeSuffix first if the copy
// shortcut is wanted; if NeedsStaging, StageSource and, unless it failed,
// ConvertFile(true); otherwise ConvertFile(false).
#pragma once
#include <windows.h>
#include "imaging/DevIL.h"

// The last error code of the image library (0 for none), kept by every load and
// save; the viewer paints nothing while it is not 0.
extern int g_nLastImageError;

// Which BMP depths StageSource raises to 24 bits for a target that is not GIF.
enum DeepeningRule {
    kDeepenUpTo8Bits, // single-file conversion: 1, 4 and 8 bits
    kDeepenOnly8Bits, // batch conversion: 8 bits only
};

// The last three characters of source and target match, ignoring case.
bool SameTypeSuffix();
// The source is a GIF or a BMP, or the target is a GIF.
bool NeedsStaging();

// Puts the source's pixels as one BMP into the empty exchange file. False (with the
// error shown, owned by owner, and the exchange file untouched) when the source
// could not be read.
bool StageSource(HWND owner, DeepeningRule rule);

// Writes the target from the source (not staged) or from the exchange file
// (staged), which is empty again afterwards. Errors are shown and leave
// g_nLastImageError set. Every target is written under a temporary name and
// replaces the old file only once complete.
void ConvertFile(bool staged);

// A packed DIB of a device bitmap at bits per pixel, uncompressed, reduced with the
// screen palette made for the call; null when the depth is not one a DIB toolkit
// request can give.
LPBITMAPINFOHEADER DibWithScreenPalette(HBITMAP bitmap, WORD bits);

// Puts a packed DIB as the one BMP into the exchange file. False (with the error
// shown) when the exchange file could not be written.
bool StageDib(HWND owner, const BITMAPINFOHEADER* dib);

// Writes g_szTargetPath from the BMP staged in the exchange file: our GIF writer
// for GIF, the image library for every other type. The exchange file is empty
// again afterwards; errors are shown. True when the target was written.
bool WriteStagedTarget(HWND owner);

// Saves the library's bound image as target, in the type its name gives (JPEG
// through our encoder), under a temporary name that replaces the old file only once
// complete. The error is also kept in g_nLastImageError.
ILenum SaveBoundImage(const char* target);

// Where the engine's boxes go: MessageBoxA, unless a sink is set. The worker process
// sets one and hands every box to the tray, which shows it with the same owner, in
// the same order. Null puts MessageBoxA back.
typedef void (*BoxSink)(HWND owner, const char* text, const char* caption);
void SetBoxSink(BoxSink sink);

// Our own failures in the library's box, so every error looks alike:
// "Error: <what>\n" captioned "File Error!".
void ReportFailure(HWND owner, const char* what);

// A user's BMP never reaches the library as it is: our decoder reads it and our
// writer puts a BMP of our own into the exchange file. sourceBits, when given,
// gets the bit count the file itself has.
enum BmpStaging { kBmpStaged, kBmpCannotOpen, kBmpRefused };
BmpStaging StageUserBmp(const char* path, WORD* sourceBits = nullptr);

// The BMP staged in the exchange file again at another depth, uncompressed (8 bits
// with a palette of its own). False, with the exchange file empty, when it cannot.
bool RestageAtDepth(WORD depth);

// The box of a failed GIF read or write: "File Error!" captioned "Kestrel", no owner.
void ReportCodecFailure();

// The image library's error box: "Error: <library text>\n" in g_szMessage,
// captioned "File Error!" (printing says "Print Error"), then every further queued
// error discarded.
void ReportImageError(HWND owner, ILenum error, const char* caption = "File Error!");
