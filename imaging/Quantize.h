// Palettes for 8-bit output: the exact colours of an image that has few enough,
// otherwise an adaptive palette (Wu's variance-minimising box cut, refined by
// k-means), and the mapping of every pixel to its nearest palette colour. Byte
// logic on buffers only; the DIB code wraps it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// One palette colour, laid out as an RGBQUAD: blue, green, red, a zero byte.
struct SPaletteColor {
    uint8_t blue, green, red, reserved;
};

// 24-bit pixels, blue, green and red per pixel, rows stride bytes apart.
struct SPixelRows {
    const uint8_t* data;
    int width;
    int height;
    size_t stride;
};

const int kMaxPaletteColors = 256;

// The image's distinct colours in the order first met, when there are at most
// nMax of them; false (and colors undefined) when there are more.
bool ExactColors(const SPixelRows& image, int nMax, std::vector<SPaletteColor>& colors);

// At most nColors (1..256) colours that keep the squared error of the image
// small. An image with no pixels gives an empty palette.
std::vector<SPaletteColor> AdaptivePalette(const SPixelRows& image, int nColors);

// Exact nearest-colour lookup (squared distance in RGB; on a tie the lowest
// index). Cells of the colour cube keep the few entries that can be nearest
// anywhere inside them, built when first asked for.
class CNearestColor {
public:
    explicit CNearestColor(const std::vector<SPaletteColor>& palette);
    uint8_t Find(uint8_t red, uint8_t green, uint8_t blue);

private:
    struct SCandidate {
        int nearDistance; // least squared distance from the entry to the cell
        uint8_t index;
    };
    void BuildCell(int cell);

    std::vector<SPaletteColor> m_palette;
    std::vector<int> m_axisNear, m_axisFar; // [axis][cell row][entry]
    // Per cell: where its candidates start << 8 | their count - 1.
    static const uint32_t kUnbuilt = 0xFFFFFFFF;
    std::vector<uint32_t> m_cells;
    std::vector<SCandidate> m_candidates;
};

// Writes the index of every pixel's nearest palette colour, one byte per pixel,
// index rows indexStride bytes apart in the same row order as the image.
void MapToPalette(const SPixelRows& image, const std::vector<SPaletteColor>& palette, uint8_t* indices,
                  size_t indexStride);

// The palette an 8-bit copy of the image gets: its own colours when there are at
// most 256 (lossless), otherwise an adaptive palette of 256.
std::vector<SPaletteColor> PaletteFor8Bits(const SPixelRows& image);
