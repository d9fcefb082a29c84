#include "imaging/JpegFile.h"
#include <string.h>
#include <memory>
#include <string>
#include <vector>
#include "imaging/Dib.h"
#include "imaging/JpegWriter.h"

namespace {
bool EndsWith(LPCSTR lpszPath, LPCSTR lpszSuffix) {
    const size_t n = strlen(lpszPath), m = strlen(lpszSuffix);
    return n >= m && lstrcmpiA(lpszPath + n - m, lpszSuffix) == 0;
}

bool WriteAll(HANDLE hFile, const void* lpData, DWORD dwBytes) {
    const BYTE* p = static_cast<const BYTE*>(lpData);
    while (dwBytes > 0) {
        DWORD written = 0;
        // A short write (a full disk) is a failure as much as one that wrote nothing.
        if (!WriteFile(hFile, p, dwBytes, &written, nullptr) || written == 0)
            return false;
        p += written;
        dwBytes -= written;
    }
    return true;
}
} // namespace

bool IsJpegName(LPCSTR lpszPath) {
    return lpszPath &&
           (EndsWith(lpszPath, ".jpg") || EndsWith(lpszPath, ".jpe") || EndsWith(lpszPath, ".jpeg"));
}

bool WriteFileReplacing(LPCSTR lpszPath, const void* lpData, DWORD dwBytes) {
    // The temporary file lives in the target's folder, so the move is a rename.
    std::string folder(lpszPath);
    const size_t slash = folder.find_last_of("\\/:");
    folder = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
    char temp[MAX_PATH];
    if (folder.size() > MAX_PATH - 14 || !GetTempFileNameA(folder.c_str(), "kst", 0, temp))
        return false;
    HANDLE hFile =
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        DeleteFileA(temp);
        return false;
    }
    bool ok = WriteAll(hFile, lpData, dwBytes);
    ok = CloseHandle(hFile) && ok;
    ok = ok && MoveFileExA(temp, lpszPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    if (!ok)
        DeleteFileA(temp);
    return ok;
}

bool WriteJpegFromDib(const BITMAPINFOHEADER* lpDib, LPCSTR lpszPath, int nQuality) {
    if (!lpDib || lpDib->biSize != sizeof(BITMAPINFOHEADER) || lpDib->biWidth <= 0 || lpDib->biHeight == 0)
        return false;
    struct FreeDibDeleter {
        void operator()(BITMAPINFOHEADER* p) const { FreeDib(p); }
    };
    std::unique_ptr<BITMAPINFOHEADER, FreeDibDeleter> wide;
    if (lpDib->biBitCount != 24 || lpDib->biCompression != BI_RGB) {
        wide.reset(ConvertDibDepth(lpDib, 24, BI_RGB));
        if (!wide)
            return false;
        lpDib = wide.get();
    }
    const LONG rows = lpDib->biHeight < 0 ? -lpDib->biHeight : lpDib->biHeight;
    const ptrdiff_t stride = (ptrdiff_t)DibRowBytes(lpDib->biWidth, 24);
    const BYTE* pixels = DibPixels(lpDib);
    // A DIB of positive height keeps its top row last.
    const SJpegPixels image = {lpDib->biHeight > 0 ? pixels + (rows - 1) * stride : pixels,
                               (int)lpDib->biWidth, (int)rows, lpDib->biHeight > 0 ? -stride : stride, true};
    std::vector<unsigned char> jpeg;
    return EncodeJpeg(image, nQuality, jpeg) && jpeg.size() <= 0xFFFFFFFFu &&
           WriteFileReplacing(lpszPath, jpeg.data(), (DWORD)jpeg.size());
}
