#include "imaging/JpegFile.h"
#include <string.h>
#include <memory>
#include <string>
#include <vector>
#include "framework/SafeSave.h"
#include "imaging/Dib.h"
#include "imaging/JpegWriter.h"

namespace {
bool EndsWith(LPCSTR lpszPath, LPCSTR lpszSuffix) {
    const size_t n = strlen(lpszPath), m = strlen(lpszSuffix);
    return n >= m && lstrcmpiA(lpszPath + n - m, lpszSuffix) == 0;
}
} // namespace

bool IsJpegName(LPCSTR lpszPath) {
    return lpszPath &&
           (EndsWith(lpszPath, ".jpg") || EndsWith(lpszPath, ".jpe") || EndsWith(lpszPath, ".jpeg"));
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
           CSafeSave::WriteBytes(lpszPath, jpeg.data(), jpeg.size());
}
