// GoogleTest for modules built as Win32 code: its headers take their Windows
// branch when _WIN32 is defined and then need headers Wine does not have, so the
// Windows macros are hidden while they are read. Include this before <windows.h>.
#pragma once
#pragma push_macro("_WIN32")
#pragma push_macro("WIN32")
#pragma push_macro("__WIN32")
#pragma push_macro("__WIN32__")
#pragma push_macro("_WIN64")
#pragma push_macro("__cdecl")
#undef _WIN32
#undef WIN32
#undef __WIN32
#undef __WIN32__
#undef _WIN64
#undef __cdecl
#include <gtest/gtest.h>
#pragma pop_macro("_WIN32")
#pragma pop_macro("WIN32")
#pragma pop_macro("__WIN32")
#pragma pop_macro("__WIN32__")
#pragma pop_macro("_WIN64")
#pragma pop_macro("__cdecl")
