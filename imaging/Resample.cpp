// The resampler. Because the two axis weights multiply and nothing is rounded
// before the final shift, a target sum can be formed one axis at a time: reducing
// first folds source rows into a row of column sums (one pass over the source, the
// inner loop the same weight across a whole row), then folds columns; enlarging
// expands each source row along the row once and mixes two of those per target row.
// The integers are exactly those of scattering each pixel into its 2 x 2 targets,
// and every partial sum stays below 255 x 4096 x 4096, inside 32 unsigned bits.
#include "imaging/Resample.h"
#include <string.h>
#include <algorithm>
#include <memory>
#include <new>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {
const INT kWhole = 4096;

// Largest pixel block we ask for at once, as the DIB toolkit does.
const ULONGLONG kMaxImageBytes = 0x7FFFFFFF;

// acc[i] += a[i] x wa + b[i] x wb along two rows, weights at most 4096. With SSE2
// one multiply-add instruction weighs a byte of each row into a 32-bit sum, so
// two source rows cost one pass over the sums.
void AddWeightedRows(DWORD* acc, const BYTE* a, DWORD wa, const BYTE* b, DWORD wb, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    const __m128i weights = _mm_set1_epi32((int)(wa | wb << 16));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i pairs[2] = {_mm_unpacklo_epi8(va, vb), _mm_unpackhi_epi8(va, vb)};
        __m128i* sums = reinterpret_cast<__m128i*>(acc + i);
        for (int k = 0; k < 2; ++k) {
            const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(pairs[k], zero), weights);
            const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(pairs[k], zero), weights);
            _mm_storeu_si128(sums + 2 * k, _mm_add_epi32(_mm_loadu_si128(sums + 2 * k), lo));
            _mm_storeu_si128(sums + 2 * k + 1, _mm_add_epi32(_mm_loadu_si128(sums + 2 * k + 1), hi));
        }
    }
#endif
    for (; i < n; ++i)
        acc[i] += a[i] * wa + b[i] * wb;
}

// Folds one row of column sums (each at most 255 x 4096) into target bytes.
void ReduceColumns(const DWORD* sums, const std::vector<ScaleStep>& cols, BYTE* out) {
    DWORD b = 0, g = 0, r = 0;
    for (const ScaleStep& step : cols) {
        const DWORD w = step.nWeight;
        b += sums[0] * w;
        g += sums[1] * w;
        r += sums[2] * w;
        if (step.nNext != 0) {
            out[0] = (BYTE)(b >> 24);
            out[1] = (BYTE)(g >> 24);
            out[2] = (BYTE)(r >> 24);
            out += 3;
            const DWORD next = step.nNext > 0 ? step.nNext : 0;
            b = sums[0] * next;
            g = sums[1] * next;
            r = sums[2] * next;
        }
        sums += 3;
    }
}

// One source row expanded along the row: each target column's share of at most
// two source pixels, at most 255 x 4096.
void ExpandColumns(const BYTE* row, const std::vector<ScaleStep>& cols, DWORD* out) {
    for (const ScaleStep& step : cols) {
        const DWORD w = step.nWeight;
        if (step.nNext > 0) {
            const DWORD next = step.nNext;
            out[0] = row[0] * w + row[3] * next;
            out[1] = row[1] * w + row[4] * next;
            out[2] = row[2] * w + row[5] * next;
        } else {
            out[0] = row[0] * w;
            out[1] = row[1] * w;
            out[2] = row[2] * w;
        }
        if (step.nNext != 0)
            row += 3;
        out += 3;
    }
}

void MixRows(const DWORD* a, DWORD wa, BYTE* out, size_t n) {
    for (size_t i = 0; i < n; ++i)
        out[i] = (BYTE)((a[i] * wa) >> 24);
}

void MixRows(const DWORD* a, DWORD wa, const DWORD* b, DWORD wb, BYTE* out, size_t n) {
    for (size_t i = 0; i < n; ++i)
        out[i] = (BYTE)((a[i] * wa + b[i] * wb) >> 24);
}
} // namespace

std::vector<ScaleStep> BuildScaleTable(WORD wLarger, WORD wSmaller, bool bReducing) {
    std::vector<ScaleStep> table;
    if (wSmaller > wLarger)
        return table;
    table.resize(wLarger);
    const INT n = wLarger, m = wSmaller;
    const INT divisor = bReducing ? n : m;
    const INT full = bReducing ? m * kWhole / n : kWhole;
    // Counts in units where a pixel of the larger grid is m and one of the smaller n.
    INT acc = 0;
    for (ScaleStep& step : table) {
        const INT prev = acc;
        acc += m;
        if (acc > n) {
            step.nWeight = (n - prev) * kWhole / divisor;
            acc -= n;
            step.nNext = acc * kWhole / divisor;
            // Above 4096 pixels a share can truncate to 0 although the boundary was
            // crossed; the other grid must still advance or the walk runs off its end.
            if (step.nNext == 0)
                step.nNext = -1;
        } else {
            step.nWeight = full;
            if (acc == n) {
                step.nNext = -1;
                acc = 0;
            } else {
                step.nNext = 0;
            }
        }
    }
    return table;
}

DWORD Dib24Stride(WORD wWidth) {
    return (3 * (DWORD)wWidth + 3) & ~(DWORD)3;
}

ULONGLONG Dib24ImageBytes(WORD wWidth, WORD wHeight) {
    return (ULONGLONG)Dib24Stride(wWidth) * wHeight;
}

BITMAPINFO MakeDib24Header(WORD wWidth, WORD wHeight) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = wWidth;
    bi.bmiHeader.biHeight = wHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    const ULONGLONG bytes = Dib24ImageBytes(wWidth, wHeight);
    bi.bmiHeader.biSizeImage = bytes <= 0xFFFFFFFF ? (DWORD)bytes : 0;
    return bi;
}

bool ScaleDown24(const BYTE* pSrc, WORD wSrcWidth, WORD wSrcHeight, BYTE* pDst, WORD wDstWidth,
                 WORD wDstHeight) {
    if (wDstWidth > wSrcWidth || wDstHeight > wSrcHeight)
        return false;
    if (wDstWidth == 0 || wDstHeight == 0)
        return true;
    try {
        const std::vector<ScaleStep> cols = BuildScaleTable(wSrcWidth, wDstWidth, true);
        const std::vector<ScaleStep> rows = BuildScaleTable(wSrcHeight, wDstHeight, true);
        const size_t rowBytes = 3 * (size_t)wSrcWidth;
        const DWORD srcStride = Dib24Stride(wSrcWidth), dstStride = Dib24Stride(wDstWidth);
        // Column sums of the target row being completed and of the one after it.
        std::vector<DWORD> current(rowBytes), next(rowBytes);
        const BYTE* src = pSrc;
        for (size_t y = 0; y < rows.size(); ++y, src += srcStride) {
            // A row that stays within its target row is taken together with the next.
            if (rows[y].nNext == 0 && y + 1 < rows.size()) {
                AddWeightedRows(current.data(), src, rows[y].nWeight, src + srcStride, rows[y + 1].nWeight,
                                rowBytes);
                ++y;
                src += srcStride;
            } else {
                AddWeightedRows(current.data(), src, rows[y].nWeight, src, 0, rowBytes);
            }
            const ScaleStep& step = rows[y];
            if (step.nNext > 0)
                AddWeightedRows(next.data(), src, step.nNext, src, 0, rowBytes);
            if (step.nNext != 0) {
                ReduceColumns(current.data(), cols, pDst);
                std::fill(current.begin(), current.end(), 0);
                current.swap(next);
                pDst += dstStride;
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool ScaleUp24(const BYTE* pSrc, WORD wSrcWidth, WORD wSrcHeight, BYTE* pDst, WORD wDstWidth,
               WORD wDstHeight) {
    if (wDstWidth < wSrcWidth || wDstHeight < wSrcHeight)
        return false;
    if (wDstWidth == 0 || wDstHeight == 0)
        return true;
    if (wSrcWidth == 0 || wSrcHeight == 0)
        return false; // nothing to fill the target from
    try {
        const std::vector<ScaleStep> cols = BuildScaleTable(wDstWidth, wSrcWidth, false);
        const std::vector<ScaleStep> rows = BuildScaleTable(wDstHeight, wSrcHeight, false);
        const size_t rowBytes = 3 * (size_t)wDstWidth;
        const DWORD srcStride = Dib24Stride(wSrcWidth), dstStride = Dib24Stride(wDstWidth);
        // Expanded source rows A and B, each tagged with the source row it holds.
        std::vector<DWORD> expandedA(rowBytes), expandedB(rowBytes);
        LONG rowA = -1, rowB = -1, row = 0;
        for (const ScaleStep& step : rows) {
            if (rowA != row) {
                if (rowB == row) {
                    expandedA.swap(expandedB);
                    std::swap(rowA, rowB);
                } else {
                    ExpandColumns(pSrc + (size_t)row * srcStride, cols, expandedA.data());
                    rowA = row;
                }
            }
            if (step.nNext > 0) {
                if (rowB != row + 1) {
                    ExpandColumns(pSrc + (size_t)(row + 1) * srcStride, cols, expandedB.data());
                    rowB = row + 1;
                }
                MixRows(expandedA.data(), step.nWeight, expandedB.data(), step.nNext, pDst, rowBytes);
            } else {
                MixRows(expandedA.data(), step.nWeight, pDst, rowBytes);
            }
            if (step.nNext != 0)
                ++row;
            pDst += dstStride;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

#ifndef KESTREL_BUFFERS_ONLY
#include "framework/Gdi.h"

namespace {
HBITMAP Fail(DWORD dwError) {
    SetLastError(dwError);
    return NULL;
}

bool FitsWord(LONG n) {
    return n >= 0 && n <= 0xFFFF;
}
} // namespace

HBITMAP ScaleBitmap(HBITMAP hSource, int nWidth, int nHeight) {
    BITMAP bm;
    if (!hSource || GetObjectA(hSource, sizeof(bm), &bm) != sizeof(bm))
        return Fail(ERROR_INVALID_HANDLE);
    if (!FitsWord(nWidth) || !FitsWord(nHeight) || !FitsWord(bm.bmWidth) || !FitsWord(bm.bmHeight))
        return Fail(ERROR_INVALID_PARAMETER);
    if ((nWidth < bm.bmWidth && nHeight > bm.bmHeight) || (nWidth > bm.bmWidth && nHeight < bm.bmHeight))
        return Fail(ERROR_INVALID_PARAMETER);
    const WORD wSrcWidth = (WORD)bm.bmWidth, wSrcHeight = (WORD)bm.bmHeight;
    const WORD wDstWidth = (WORD)nWidth, wDstHeight = (WORD)nHeight;
    const ULONGLONG srcBytes = Dib24ImageBytes(wSrcWidth, wSrcHeight);
    const ULONGLONG dstBytes = Dib24ImageBytes(wDstWidth, wDstHeight);
    if (srcBytes > kMaxImageBytes || dstBytes > kMaxImageBytes)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);

    CClientDC screen(NULL);
    if (!screen)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::unique_ptr<BYTE[]> dst;
    if (dstBytes != 0) {
        BITMAPINFO biSrc = MakeDib24Header(wSrcWidth, wSrcHeight);
        std::unique_ptr<BYTE[]> src(new (std::nothrow) BYTE[srcBytes]);
        dst.reset(new (std::nothrow) BYTE[dstBytes]);
        if (!src || !dst)
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        // Rows that were not fetched would show whatever the heap held.
        if (GetDIBits(screen, hSource, 0, wSrcHeight, src.get(), &biSrc, DIB_RGB_COLORS) != wSrcHeight)
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        const bool enlarging = wDstWidth > wSrcWidth || wDstHeight > wSrcHeight;
        const bool scaled =
            enlarging ? ScaleUp24(src.get(), wSrcWidth, wSrcHeight, dst.get(), wDstWidth, wDstHeight)
                      : ScaleDown24(src.get(), wSrcWidth, wSrcHeight, dst.get(), wDstWidth, wDstHeight);
        if (!scaled)
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    CGdiObject<HBITMAP> result(CreateCompatibleBitmap(screen, wDstWidth, wDstHeight));
    if (!result)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    if (dst) {
        BITMAPINFO biDst = MakeDib24Header(wDstWidth, wDstHeight);
        if (SetDIBits(screen, result, 0, wDstHeight, dst.get(), &biDst, DIB_RGB_COLORS) != wDstHeight)
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return result.Release();
}
#endif
