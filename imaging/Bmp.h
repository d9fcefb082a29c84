// BMP files: a packed DIB written to a named file or into the exchange file, and
// one BMP image read back from the exchange file.
#pragma once
#include <windows.h>
#include <cstddef>

// Status of the writers.
const int kBmpOk = 0;
const int kBmpCannotWrite = 4; // the file could not be created or written
const int kBmpNoDib = 20;      // no DIB was given

// Writes the 14-byte file header and the DIB (header, colour table, rows) to a
// new file at lpszPath, replacing any file of that name. Only DIBs with a 40-byte
// header are written; for others the file is left empty. For uncompressed DIBs
// biSizeImage is set to the row bytes x height first, so the DIB is changed.
int WriteBmpFile(LPBITMAPINFOHEADER lpDib, LPCSTR lpszPath);

// The same layout written into exchangeFile at its current position. A failed
// write raises CFileException from the file object.
int WriteBmpToExchange(LPBITMAPINFOHEADER lpDib);

// Reads one BMP image from exchangeFile at its current position into a new packed
// DIB with a 40-byte header (release it with FreeDib). Null for anything that is
// not a sound BMP: wrong signature, core or unknown headers, impossible sizes,
// data past the end of the file. A failing read raises CFileException.
LPBITMAPINFOHEADER ReadBmpFromExchange();

// A BMP file a user gave us, whole in memory, decoded by our own rules into a new
// packed DIB that the writers and the image library can take as it is: a 40-byte
// header, uncompressed, bottom-up; 1, 4 or 8 bits with the full 2, 16 or 256
// table entries (those the file lacks are black), or 24 bits for every deeper file.
// Reads 1, 4, 8, 16, 24 and 32 bits, run-length and bit-field files, top-down
// rows, the OS/2 core header and the longer header versions. Null when refused.
LPBITMAPINFOHEADER DecodeBmp(const BYTE* pData, size_t nSize);
