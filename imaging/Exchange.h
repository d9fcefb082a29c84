// The per-process exchange file: one temporary BMP, kstmp<N>.bmp in the temporary
// folder, through which images pass between our own code and the image library.
// Held open and unshared for the whole run; empty and at its start between
// operations.
#pragma once
#include "framework/File.h"
#include "framework/PathBuffer.h"

extern CFile exchangeFile;
extern char g_szExchangePath[kPathSize];

// How the exchange file is always opened: created afresh, read-write, unshared.
const UINT kExchangeOpenFlags = CFile::typeBinary | CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive;

// Reserves the first kstmp<N>.bmp not taken and opens it as the exchange file.
void ReserveExchangeFile();
// Opens the exchange file on the given path (tests and tools pick their own).
bool OpenExchangeFileAt(const char* path);
// Closes and deletes the exchange file; safe to call more than once.
void ReleaseExchangeFile();
// The exchange file back to empty and at its start, whatever happened.
void EmptyExchange();

// Lets go of the exchange file for as long as it lives, so that the image library
// can open it by name; then takes it back, empty.
class CExchangeLoan {
public:
    CExchangeLoan();
    ~CExchangeLoan();
    CExchangeLoan(const CExchangeLoan&) = delete;
    CExchangeLoan& operator=(const CExchangeLoan&) = delete;
};
