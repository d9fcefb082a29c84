// The image library, as this program uses it. Debian builds its Windows-support
// part (ILUT) without the Windows functions, so those we need are our own (see
// IlutBridge.h); only ilutInit comes from the library.
#pragma once
#include <windows.h>
#define IL_STATIC_LIB // plain declarations, no import attributes
#include <IL/il.h>
#include <IL/ilu.h>

extern "C" ILboolean ilutInit(void);
