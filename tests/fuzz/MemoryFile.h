// A CFile backed by memory, for native fuzz builds where the Win32 file API does
// not run. Link MemoryFile.cpp instead of the framework's File.cpp: every CFile
// then keeps its bytes in a buffer of its own.
#pragma once
#include "framework/File.h"
#include <cstddef>
#include <vector>

// Replaces the file's contents with the given bytes and puts it at its start, open.
void MemoryFileLoad(CFile& file, const void* data, size_t size);

// The file's current contents.
const std::vector<BYTE>& MemoryFileContents(const CFile& file);
