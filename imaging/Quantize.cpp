// Palettes for 8-bit output. Wu's quantizer cuts the colour cube into boxes of
// least variance from a histogram of the image; a few k-means passes over the
// same histogram then move each colour to the mean of what it is nearest to,
// which is what the squared error of the mapped image asks for.
#include "imaging/Quantize.h"
#include <algorithm>
#include <cstring>

namespace {

// Histogram precision per channel; 6 bits gives cuts fine enough for smooth
// photos and a table of 65^3 cells per moment.
const int kHistBits = 6;
const int kHistLevels = 1 << kHistBits;
const int kSide = kHistLevels + 1; // index 0 of each axis is the zero border of the sums
const int kCells = kSide * kSide * kSide;
const int kKMeansPasses = 4;

inline int CellIndex(int r, int g, int b) {
    return (r * kSide + g) * kSide + b;
}

inline int ColorDistance(const SPaletteColor& c, int r, int g, int b) {
    const int dr = c.red - r, dg = c.green - g, db = c.blue - b;
    return dr * dr + dg * dg + db * db;
}

// Cumulative moments of the image's colours: weight, sums per channel and the sum
// of squares, each summed over the box from the origin to the cell.
struct SMoment {
    int64_t w, r, g, b;
    double m2;
};

// One moment of every cell, read through the cells' records: the five moments of
// a cell share a cache line, which the histogram fill and the box sums want.
template <class T> struct SColumn {
    SMoment* cells;
    T SMoment::*field;
    T& operator[](int i) const { return cells[i].*field; }
};

struct SMoments {
    std::vector<SMoment> cells;
    SColumn<int64_t> w, r, g, b;
    SColumn<double> m2;
    SMoments()
        : cells(kCells), w{cells.data(), &SMoment::w}, r{cells.data(), &SMoment::r},
          g{cells.data(), &SMoment::g}, b{cells.data(), &SMoment::b}, m2{cells.data(), &SMoment::m2} {}
    SMoments(const SMoments&) = delete;
    SMoments& operator=(const SMoments&) = delete;
};

struct SBox {
    int r0, r1, g0, g1, b0, b1; // exclusive lower, inclusive upper bounds
    int volume;
};

enum EAxis { kRed, kGreen, kBlue };

template <class T> T Volume(const SBox& c, const SColumn<T>& m) {
    return m[CellIndex(c.r1, c.g1, c.b1)] - m[CellIndex(c.r1, c.g1, c.b0)] - m[CellIndex(c.r1, c.g0, c.b1)] +
           m[CellIndex(c.r1, c.g0, c.b0)] - m[CellIndex(c.r0, c.g1, c.b1)] + m[CellIndex(c.r0, c.g1, c.b0)] +
           m[CellIndex(c.r0, c.g0, c.b1)] - m[CellIndex(c.r0, c.g0, c.b0)];
}

// The part of Volume that does not depend on the box's upper bound along the axis.
int64_t Bottom(const SBox& c, EAxis axis, const SColumn<int64_t>& m) {
    switch (axis) {
    case kRed:
        return -m[CellIndex(c.r0, c.g1, c.b1)] + m[CellIndex(c.r0, c.g1, c.b0)] +
               m[CellIndex(c.r0, c.g0, c.b1)] - m[CellIndex(c.r0, c.g0, c.b0)];
    case kGreen:
        return -m[CellIndex(c.r1, c.g0, c.b1)] + m[CellIndex(c.r1, c.g0, c.b0)] +
               m[CellIndex(c.r0, c.g0, c.b1)] - m[CellIndex(c.r0, c.g0, c.b0)];
    default:
        return -m[CellIndex(c.r1, c.g1, c.b0)] + m[CellIndex(c.r1, c.g0, c.b0)] +
               m[CellIndex(c.r0, c.g1, c.b0)] - m[CellIndex(c.r0, c.g0, c.b0)];
    }
}

// The rest of Volume with the upper bound along the axis at pos.
int64_t Top(const SBox& c, EAxis axis, int pos, const SColumn<int64_t>& m) {
    switch (axis) {
    case kRed:
        return m[CellIndex(pos, c.g1, c.b1)] - m[CellIndex(pos, c.g1, c.b0)] - m[CellIndex(pos, c.g0, c.b1)] +
               m[CellIndex(pos, c.g0, c.b0)];
    case kGreen:
        return m[CellIndex(c.r1, pos, c.b1)] - m[CellIndex(c.r1, pos, c.b0)] - m[CellIndex(c.r0, pos, c.b1)] +
               m[CellIndex(c.r0, pos, c.b0)];
    default:
        return m[CellIndex(c.r1, c.g1, pos)] - m[CellIndex(c.r1, c.g0, pos)] - m[CellIndex(c.r0, c.g1, pos)] +
               m[CellIndex(c.r0, c.g0, pos)];
    }
}

double Variance(const SBox& c, const SMoments& m) {
    const double r = (double)Volume(c, m.r), g = (double)Volume(c, m.g), b = (double)Volume(c, m.b);
    const double w = (double)Volume(c, m.w);
    return w > 0 ? Volume(c, m.m2) - (r * r + g * g + b * b) / w : 0;
}

// The best cut of the box along one axis: the position that maximises the sum of
// the two halves' squared means times weight, i.e. minimises their variance.
double Maximize(const SBox& c, EAxis axis, int first, int last, int* cut, const SMoments& m, int64_t wholeR,
                int64_t wholeG, int64_t wholeB, int64_t wholeW) {
    const int64_t baseR = Bottom(c, axis, m.r), baseG = Bottom(c, axis, m.g), baseB = Bottom(c, axis, m.b);
    const int64_t baseW = Bottom(c, axis, m.w);
    double best = 0;
    *cut = -1;
    for (int i = first; i < last; ++i) {
        const int64_t halfW = baseW + Top(c, axis, i, m.w);
        if (halfW == 0 || halfW == wholeW)
            continue;
        double halfR = (double)(baseR + Top(c, axis, i, m.r));
        double halfG = (double)(baseG + Top(c, axis, i, m.g));
        double halfB = (double)(baseB + Top(c, axis, i, m.b));
        double score = (halfR * halfR + halfG * halfG + halfB * halfB) / (double)halfW;
        halfR = (double)wholeR - halfR;
        halfG = (double)wholeG - halfG;
        halfB = (double)wholeB - halfB;
        score += (halfR * halfR + halfG * halfG + halfB * halfB) / (double)(wholeW - halfW);
        if (score > best) {
            best = score;
            *cut = i;
        }
    }
    return best;
}

int BoxVolume(const SBox& c) {
    return (c.r1 - c.r0) * (c.g1 - c.g0) * (c.b1 - c.b0);
}

bool Cut(SBox& set1, SBox& set2, const SMoments& m) {
    const int64_t wholeR = Volume(set1, m.r), wholeG = Volume(set1, m.g), wholeB = Volume(set1, m.b);
    const int64_t wholeW = Volume(set1, m.w);
    int cutR, cutG, cutB;
    const double maxR = Maximize(set1, kRed, set1.r0 + 1, set1.r1, &cutR, m, wholeR, wholeG, wholeB, wholeW);
    const double maxG =
        Maximize(set1, kGreen, set1.g0 + 1, set1.g1, &cutG, m, wholeR, wholeG, wholeB, wholeW);
    const double maxB = Maximize(set1, kBlue, set1.b0 + 1, set1.b1, &cutB, m, wholeR, wholeG, wholeB, wholeW);

    set2 = set1;
    if (maxR >= maxG && maxR >= maxB) {
        if (cutR < 0)
            return false;
        set2.r0 = set1.r1 = cutR;
    } else if (maxG >= maxR && maxG >= maxB) {
        if (cutG < 0)
            return false;
        set2.g0 = set1.g1 = cutG;
    } else {
        if (cutB < 0)
            return false;
        set2.b0 = set1.b1 = cutB;
    }
    set1.volume = BoxVolume(set1);
    set2.volume = BoxVolume(set2);
    return true;
}

// Fills the moments with the histogram at kHistBits per channel: per cell the
// pixel count, the channel sums and the sum of squares; index 0 of each axis stays
// the zero border the cumulative sums need.
void FillHistogram(const SPixelRows& image, SMoments& m) {
    const int shift = 8 - kHistBits;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* p = image.data + y * image.stride;
        for (int x = 0; x < image.width; ++x, p += 3) {
            const int b = p[0], g = p[1], r = p[2];
            const int cell = CellIndex((r >> shift) + 1, (g >> shift) + 1, (b >> shift) + 1);
            ++m.w[cell];
            m.r[cell] += r;
            m.g[cell] += g;
            m.b[cell] += b;
            m.m2[cell] += r * r + g * g + b * b;
        }
    }
}

// A histogram cell that holds pixels: its count and channel sums.
struct SCellSum {
    int64_t w, r, g, b;
};

std::vector<SCellSum> OccupiedCells(const SMoments& m) {
    std::vector<SCellSum> cells;
    for (int i = 0; i < kCells; ++i)
        if (m.w[i] != 0)
            cells.push_back({m.w[i], m.r[i], m.g[i], m.b[i]});
    return cells;
}

// Turns the cell values into sums over the box from the origin to each cell, in place.
void CumulateMoments(SMoments& m) {
    std::vector<int64_t> areaW(kSide), areaR(kSide), areaG(kSide), areaB(kSide);
    std::vector<double> area2(kSide);
    for (int r = 1; r < kSide; ++r) {
        std::fill(areaW.begin(), areaW.end(), 0);
        std::fill(areaR.begin(), areaR.end(), 0);
        std::fill(areaG.begin(), areaG.end(), 0);
        std::fill(areaB.begin(), areaB.end(), 0);
        std::fill(area2.begin(), area2.end(), 0.0);
        for (int g = 1; g < kSide; ++g) {
            int64_t lineW = 0, lineR = 0, lineG = 0, lineB = 0;
            double line2 = 0;
            for (int b = 1; b < kSide; ++b) {
                const int i = CellIndex(r, g, b), below = CellIndex(r - 1, g, b);
                lineW += m.w[i];
                lineR += m.r[i];
                lineG += m.g[i];
                lineB += m.b[i];
                line2 += m.m2[i];
                areaW[b] += lineW;
                areaR[b] += lineR;
                areaG[b] += lineG;
                areaB[b] += lineB;
                area2[b] += line2;
                m.w[i] = m.w[below] + areaW[b];
                m.r[i] = m.r[below] + areaR[b];
                m.g[i] = m.g[below] + areaG[b];
                m.b[i] = m.b[below] + areaB[b];
                m.m2[i] = m.m2[below] + area2[b];
            }
        }
    }
}

uint8_t RoundedMean(double sum, double weight) {
    const double v = sum / weight + 0.5;
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

std::vector<SPaletteColor> WuPalette(const SMoments& m, int nColors) {
    std::vector<SBox> boxes(nColors);
    std::vector<double> variance(nColors);
    boxes[0] = {0, kHistLevels, 0, kHistLevels, 0, kHistLevels, 0};
    boxes[0].volume = BoxVolume(boxes[0]);
    int count = 1, next = 0;
    while (count < nColors) {
        if (Cut(boxes[next], boxes[count], m)) {
            variance[next] = boxes[next].volume > 1 ? Variance(boxes[next], m) : 0;
            variance[count] = boxes[count].volume > 1 ? Variance(boxes[count], m) : 0;
            ++count;
        } else {
            variance[next] = 0;
        }
        next = 0;
        for (int k = 1; k < count; ++k)
            if (variance[k] > variance[next])
                next = k;
        if (variance[next] <= 0)
            break;
    }
    std::vector<SPaletteColor> palette;
    for (int k = 0; k < count; ++k) {
        const double w = (double)Volume(boxes[k], m.w);
        if (w <= 0)
            continue;
        palette.push_back({RoundedMean((double)Volume(boxes[k], m.b), w),
                           RoundedMean((double)Volume(boxes[k], m.g), w),
                           RoundedMean((double)Volume(boxes[k], m.r), w), 0});
    }
    return palette;
}

// Lloyd's iteration over the histogram cells, each taken as its mean colour with
// its pixel count as weight: every palette colour moves to the mean of the cells
// nearest to it. A colour nothing is nearest to keeps its place.
void RefinePalette(const std::vector<SCellSum>& cells, std::vector<SPaletteColor>& palette) {
    std::vector<uint8_t> means;
    for (const SCellSum& c : cells) {
        means.push_back(RoundedMean((double)c.r, (double)c.w));
        means.push_back(RoundedMean((double)c.g, (double)c.w));
        means.push_back(RoundedMean((double)c.b, (double)c.w));
    }
    const size_t n = palette.size();
    for (int pass = 0; pass < kKMeansPasses; ++pass) {
        CNearestColor nearest(palette);
        std::vector<int64_t> w(n), r(n), g(n), b(n);
        for (size_t k = 0; k < cells.size(); ++k) {
            const uint8_t j = nearest.Find(means[3 * k], means[3 * k + 1], means[3 * k + 2]);
            w[j] += cells[k].w;
            r[j] += cells[k].r;
            g[j] += cells[k].g;
            b[j] += cells[k].b;
        }
        bool moved = false;
        for (size_t j = 0; j < n; ++j) {
            if (w[j] == 0)
                continue;
            const SPaletteColor c = {RoundedMean((double)b[j], (double)w[j]),
                                     RoundedMean((double)g[j], (double)w[j]),
                                     RoundedMean((double)r[j], (double)w[j]), 0};
            moved |= memcmp(&c, &palette[j], sizeof c) != 0;
            palette[j] = c;
        }
        if (!moved)
            break;
    }
}

// Lookup cells of the nearest-colour table: 32 per axis, 8 levels wide.
const int kCellShift = 3;
const int kCellSize = 1 << kCellShift;
const int kCellsPerAxis = 256 >> kCellShift;
const int kCellBits = 8 - kCellShift;

} // namespace

bool ExactColors(const SPixelRows& image, int nMax, std::vector<SPaletteColor>& colors) {
    // Open addressing on the 24-bit colour, stored plus one so that 0 is empty;
    // four times the most colours it must hold keeps the probes short.
    const uint32_t kSlots = 1024;
    uint32_t slots[kSlots] = {};
    colors.clear();
    uint32_t previous = 0;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* p = image.data + y * image.stride;
        for (int x = 0; x < image.width; ++x, p += 3) {
            const uint32_t key = (p[2] << 16 | p[1] << 8 | p[0]) + 1;
            if (key == previous)
                continue;
            previous = key;
            uint32_t slot = (key * 2654435761u) >> 22;
            while (slots[slot] != 0 && slots[slot] != key)
                slot = (slot + 1) & (kSlots - 1);
            if (slots[slot] == key)
                continue;
            if ((int)colors.size() == nMax)
                return false;
            slots[slot] = key;
            colors.push_back({p[0], p[1], p[2], 0});
        }
    }
    return true;
}

std::vector<SPaletteColor> AdaptivePalette(const SPixelRows& image, int nColors) {
    if (image.width <= 0 || image.height <= 0 || nColors < 1)
        return {};
    if (nColors > kMaxPaletteColors)
        nColors = kMaxPaletteColors;
    std::vector<SCellSum> cells;
    std::vector<SPaletteColor> palette;
    {
        SMoments moments;
        FillHistogram(image, moments);
        cells = OccupiedCells(moments);
        CumulateMoments(moments);
        palette = WuPalette(moments, nColors);
    }
    RefinePalette(cells, palette);
    return palette;
}

CNearestColor::CNearestColor(const std::vector<SPaletteColor>& palette)
    : m_palette(palette), m_cells(kCellsPerAxis * kCellsPerAxis * kCellsPerAxis, kUnbuilt) {
    if (m_palette.empty())
        m_palette.push_back({0, 0, 0, 0});
    if (m_palette.size() > (size_t)kMaxPaletteColors)
        m_palette.resize(kMaxPaletteColors);
    // Per axis and cell row, each entry's least and greatest squared distance to
    // the row's levels; a cell's distances are the sums over its three rows.
    const size_t n = m_palette.size();
    m_axisNear.resize(3 * kCellsPerAxis * n);
    m_axisFar.resize(3 * kCellsPerAxis * n);
    for (int axis = 0; axis < 3; ++axis) {
        for (int row = 0; row < kCellsPerAxis; ++row) {
            const int lo = row << kCellShift, hi = lo + kCellSize - 1;
            int* nearRow = &m_axisNear[(axis * kCellsPerAxis + row) * n];
            int* farRow = &m_axisFar[(axis * kCellsPerAxis + row) * n];
            for (size_t i = 0; i < n; ++i) {
                const int v = axis == 0   ? m_palette[i].red
                              : axis == 1 ? m_palette[i].green
                                          : m_palette[i].blue;
                const int d = v < lo ? lo - v : v > hi ? v - hi : 0;
                const int far = v - lo > hi - v ? v - lo : hi - v;
                nearRow[i] = d * d;
                farRow[i] = far * far;
            }
        }
    }
}

// The entries that can be nearest somewhere in the cell: any whose least distance
// to the cell is within the smallest greatest distance of all entries to it. The
// nearest entry of every point in the cell is among them. They are kept in order
// of least distance, so that a search can stop early.
void CNearestColor::BuildCell(int cell) {
    const size_t n = m_palette.size();
    const int rows[3] = {cell >> (2 * kCellBits), (cell >> kCellBits) & (kCellsPerAxis - 1),
                         cell & (kCellsPerAxis - 1)};
    const int* nearR = &m_axisNear[(0 * kCellsPerAxis + rows[0]) * n];
    const int* nearG = &m_axisNear[(1 * kCellsPerAxis + rows[1]) * n];
    const int* nearB = &m_axisNear[(2 * kCellsPerAxis + rows[2]) * n];
    const int* farR = &m_axisFar[(0 * kCellsPerAxis + rows[0]) * n];
    const int* farG = &m_axisFar[(1 * kCellsPerAxis + rows[1]) * n];
    const int* farB = &m_axisFar[(2 * kCellsPerAxis + rows[2]) * n];
    int nearDistance[kMaxPaletteColors];
    int bound = 1 << 30;
    for (size_t i = 0; i < n; ++i) {
        nearDistance[i] = nearR[i] + nearG[i] + nearB[i];
        const int far = farR[i] + farG[i] + farB[i];
        bound = far < bound ? far : bound;
    }
    const size_t start = m_candidates.size();
    for (size_t i = 0; i < n; ++i) {
        if (nearDistance[i] > bound)
            continue;
        // Insertion by least distance; equal distances keep index order.
        SCandidate c = {nearDistance[i], (uint8_t)i};
        m_candidates.push_back(c);
        for (size_t k = m_candidates.size() - 1;
             k > start && m_candidates[k - 1].nearDistance > c.nearDistance; --k)
            std::swap(m_candidates[k - 1], m_candidates[k]);
    }
    m_cells[cell] = (uint32_t)start << 8 | (uint32_t)(m_candidates.size() - start - 1);
}

uint8_t CNearestColor::Find(uint8_t red, uint8_t green, uint8_t blue) {
    const int cell =
        (red >> kCellShift) << (2 * kCellBits) | (green >> kCellShift) << kCellBits | (blue >> kCellShift);
    if (m_cells[cell] == kUnbuilt)
        BuildCell(cell);
    const SCandidate* c = &m_candidates[m_cells[cell] >> 8];
    const int count = (m_cells[cell] & 0xFF) + 1;
    uint8_t best = c[0].index;
    int bestDistance = ColorDistance(m_palette[best], red, green, blue);
    for (int k = 1; k < count && c[k].nearDistance <= bestDistance; ++k) {
        const int d = ColorDistance(m_palette[c[k].index], red, green, blue);
        if (d < bestDistance || (d == bestDistance && c[k].index < best)) {
            bestDistance = d;
            best = c[k].index;
        }
    }
    return best;
}

void MapToPalette(const SPixelRows& image, const std::vector<SPaletteColor>& palette, uint8_t* indices,
                  size_t indexStride) {
    CNearestColor nearest(palette);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* p = image.data + y * image.stride;
        uint8_t* out = indices + y * indexStride;
        uint32_t previous = 0xFFFFFFFF;
        uint8_t index = 0;
        for (int x = 0; x < image.width; ++x, p += 3) {
            // Runs of one colour are common in screenshots and flat areas.
            const uint32_t key = p[2] << 16 | p[1] << 8 | p[0];
            if (key != previous) {
                previous = key;
                index = nearest.Find(p[2], p[1], p[0]);
            }
            out[x] = index;
        }
    }
}

std::vector<SPaletteColor> PaletteFor8Bits(const SPixelRows& image) {
    std::vector<SPaletteColor> palette;
    if (ExactColors(image, kMaxPaletteColors, palette))
        return palette;
    return AdaptivePalette(image, kMaxPaletteColors);
}
