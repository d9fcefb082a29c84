#!/usr/bin/python3
"""Writes the table of BMP files that the decoder of users' files is tested on.

    /usr/bin/python3 BmpTestFiles.py <folder>

For every case it writes <name>.bmp and, unless the file must be refused,
<name>.rgb: the pixels the file means, top row first, three bytes each. Damaged
files mean their pixels with every pixel that no run paints at index 0 and every
index beyond the file's colour table black. manifest.txt has one line per case:

    <name> <kind> <imagemagick> <pillow>

kind is good, damaged or refused; the last two say what each reference decoder's
decode must be: exact (the same bytes), near (no channel off by more than 1) or
skip (it reads the file otherwise or not at all, see the case's comment).
"""
import os
import struct
import sys

W, H = 13, 7


def table(n):
    return [((i * 37 + 11) % 256, (255 - i * 5) % 256, (i * 91 + 3) % 256) for i in range(n)]


def index_pattern(n, runs=False):
    if runs:
        return [[(x // 3 + y) % n for x in range(W)] for y in range(H)]
    return [[(x * 3 + y * 5) % n for x in range(W)] for y in range(H)]


def pack_rows(rows, bits):
    """Uncompressed rows, bottom-up unless the caller reverses them, padded to 4."""
    out = b""
    for row in rows:
        if bits <= 8:
            per = 8 // bits
            data = bytearray((len(row) + per - 1) // per)
            for x, v in enumerate(row):
                data[x // per] |= v << (8 - bits * (x % per + 1))
        else:
            data = bytearray(b"".join(v for v in row))
        data += b"\0" * (-len(data) % 4)
        out += bytes(data)
    return out


def info_header(size, width, height, bits, compression, image_bytes, clr_used, masks=None):
    h = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, image_bytes, 2835, 2835,
                    clr_used, 0)
    if size > 40:
        m = masks or (0, 0, 0)
        h += struct.pack("<III", *m)
        h += b"\0" * (size - len(h))
    return h


def bmp_file(header, colour_table, pixels, between=b""):
    off = 14 + len(header) + len(between) + len(colour_table)
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + header + between + colour_table + pixels


def quads(colours):
    return b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in colours)


def triples(colours):
    return b"".join(struct.pack("BBB", b, g, r) for r, g, b in colours)


def rgb_of(indices, colours):
    """The meant pixels of palette rows; indices beyond the table are black."""
    out = bytearray()
    for row in indices:
        for v in row:
            out += bytes(colours[v]) if v < len(colours) else b"\0\0\0"
    return bytes(out)


def rle8(rows):
    """Runs where pixels repeat, absolute runs of at least 3 otherwise."""
    out = bytearray()
    for row in rows:
        x = 0
        while x < len(row):
            n = 1
            while x + n < len(row) and row[x + n] == row[x] and n < 255:
                n += 1
            if n >= 2 or len(row) - x < 3:
                out += bytes([n, row[x]])
                x += n
                continue
            end = x
            while end < len(row) and (end + 1 >= len(row) or row[end + 1] != row[end]) and end - x < 255:
                end += 1
            n = end - x
            if n < 3:
                out += bytes([1, row[x]])
                x += 1
                continue
            out += bytes([0, n]) + bytes(row[x:end]) + (b"\0" if n % 2 else b"")
            x = end
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


def rle4(rows):
    """Runs of one colour, and absolute runs of four pixels where colours change."""
    out = bytearray()
    for row in rows:
        x = 0
        while x < len(row):
            n = 1
            while x + n < len(row) and row[x + n] == row[x] and n < 255:
                n += 1
            if n >= 2 or len(row) - x < 4:
                out += bytes([n, row[x] << 4 | row[x]])
                x += n
                continue
            px = row[x:x + 4]
            out += bytes([0, 4, px[0] << 4 | px[1], px[2] << 4 | px[3]])
            x += 4
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


class Writer:
    def __init__(self, folder):
        self.folder = folder
        self.lines = []

    def add(self, name, kind, magick, pillow, data, rgb=None):
        with open(os.path.join(self.folder, name + ".bmp"), "wb") as f:
            f.write(data)
        if rgb is not None:
            assert len(rgb) == W * H * 3, name
            with open(os.path.join(self.folder, name + ".rgb"), "wb") as f:
                f.write(rgb)
        self.lines.append("%s %s %s %s" % (name, kind, magick, pillow))

    def close(self):
        with open(os.path.join(self.folder, "manifest.txt"), "w") as f:
            f.write("\n".join(self.lines) + "\n")


def palette_file(bits, n_table, top_down=False, header=40, n_pixels=None, runs=False):
    colours = table(n_table)
    rows = index_pattern(n_pixels or n_table, runs)
    stored = rows if top_down else rows[::-1]
    pixels = pack_rows(stored, bits)
    clr = 0 if n_table == 1 << bits else n_table
    h = info_header(header, W, -H if top_down else H, bits, 0, len(pixels), clr)
    return bmp_file(h, quads(colours), pixels), rgb_of(rows, colours)


def channel(v, width):
    return v * 255 // ((1 << width) - 1) if width else 0


def masked_file(bits, masks, compression, header=40, top_down=False):
    """16- or 32-bit pixels through the masks; what they mean is each channel
    scaled by its width."""
    widths = [bin(m).count("1") for m in masks]
    shifts = [(m & -m).bit_length() - 1 if m else 0 for m in masks]
    rows, meant = [], bytearray()
    for y in range(H):
        row = []
        for x in range(W):
            values = [(x * 7 + y * 3 + c * 11) % (1 << w) if w else 0 for c, w in enumerate(widths)]
            if x == 0 and y == 0:
                values = [(1 << w) - 1 for w in widths]  # white
            v = sum(val << s for val, s in zip(values, shifts))
            if bits == 32:
                v |= 0 if any(m >> 24 for m in masks) else 0xA5 << 24  # an unused byte that is not 0
                row.append(struct.pack("<I", v))
            else:
                row.append(struct.pack("<H", v))
            meant += bytes(channel(val, w) for val, w in zip(values, widths))
        rows.append(row)
    pixels = pack_rows(rows if top_down else rows[::-1], bits)
    between = struct.pack("<III", *masks) if compression == 3 and header == 40 else b""
    h = info_header(header, W, -H if top_down else H, bits, compression, len(pixels), 0,
                    masks if header > 40 else None)
    return bmp_file(h, b"", pixels, between), bytes(meant)


def core_file(bits, n_table=None):
    n = n_table or (1 << bits if bits <= 8 else 0)
    if bits == 24:
        rows = [[bytes(((x * 20 + y) % 256, (y * 30) % 256, (x * y) % 256))[::-1] for x in range(W)]
                for y in range(H)]
        meant = b"".join(p[::-1] for row in rows for p in row)
        colours = []
    else:
        colours = table(n)
        rows = index_pattern(1 << bits if bits < 8 else 40)
        meant = rgb_of(rows, colours)
    h = struct.pack("<IHHHH", 12, W, H, 1, bits)
    return bmp_file(h, triples(colours), pack_rows(rows[::-1], bits)), meant


def rle_file(compression, data, rows, colours, size_image=None):
    bits = 8 if compression == 1 else 4
    h = info_header(40, W, H, bits, compression, len(data) if size_image is None else size_image,
                    0 if len(colours) == 1 << bits else len(colours))
    return bmp_file(h, quads(colours), data), rgb_of(rows, colours)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    w = Writer(folder)

    # Uncompressed palette files, full and short tables, both row orders.
    for bits in (1, 4, 8):
        w.add("rgb%d" % bits, "good", "exact", "exact", *palette_file(bits, 1 << bits))
        w.add("rgb%d_top_down" % bits, "good", "exact", "exact", *palette_file(bits, 1 << bits, True))
    w.add("rgb4_clrused_6", "good", "exact", "exact", *palette_file(4, 6))
    w.add("rgb8_clrused_40", "good", "exact", "exact", *palette_file(8, 40))
    w.add("rgb8_v4_header", "good", "exact", "exact", *palette_file(8, 256, header=108))
    w.add("rgb8_v5_header", "good", "exact", "exact", *palette_file(8, 256, header=124))

    # 24 bits.
    rows = [[bytes(((x * 19 + y) % 256, (y * 41) % 256, (x * y * 3) % 256)) for x in range(W)] for y in range(H)]
    meant = b"".join(p for row in rows for p in row)
    bgr = [[p[::-1] for p in row] for row in rows]
    for name, header, top_down in (("rgb24", 40, False), ("rgb24_top_down", 40, True),
                                   ("rgb24_v5_header", 124, False)):
        pixels = pack_rows(bgr if top_down else bgr[::-1], 24)
        h = info_header(header, W, -H if top_down else H, 24, 0, len(pixels), 0)
        w.add(name, "good", "exact", "exact", bmp_file(h, b"", pixels), meant)

    # 16 and 32 bits. ImageMagick shifts 5- and 6-bit channels up and fills the low
    # bits from the high ones (off by 1 against the exact scale), and only shifts
    # other widths (4 bits: 15 becomes 240); Pillow knows only the common layouts.
    w.add("rgb16", "good", "near", "exact", *masked_file(16, (0x7C00, 0x03E0, 0x001F), 0))
    w.add("rgb16_top_down", "good", "near", "exact", *masked_file(16, (0x7C00, 0x03E0, 0x001F), 0,
                                                                  top_down=True))
    w.add("bitfields16_565", "good", "near", "exact", *masked_file(16, (0xF800, 0x07E0, 0x001F), 3))
    w.add("bitfields16_555", "good", "near", "exact", *masked_file(16, (0x7C00, 0x03E0, 0x001F), 3))
    w.add("bitfields16_444", "good", "skip", "skip", *masked_file(16, (0x0F00, 0x00F0, 0x000F), 3))
    w.add("bitfields16_565_v4_header", "good", "near", "exact",
          *masked_file(16, (0xF800, 0x07E0, 0x001F), 3, header=108))
    w.add("rgb32", "good", "exact", "exact", *masked_file(32, (0xFF0000, 0x00FF00, 0x0000FF), 0))
    w.add("rgb32_top_down", "good", "exact", "exact",
          *masked_file(32, (0xFF0000, 0x00FF00, 0x0000FF), 0, top_down=True))
    w.add("bitfields32", "good", "exact", "exact", *masked_file(32, (0xFF0000, 0x00FF00, 0x0000FF), 3))
    w.add("bitfields32_v5_header", "good", "exact", "exact",
          *masked_file(32, (0xFF0000, 0x00FF00, 0x0000FF), 3, header=124))
    w.add("bitfields32_10_bits", "good", "skip", "skip", *masked_file(32, (0x3FF00000, 0x000FFC00, 0x3FF), 3))

    # The OS/2 core header.
    for bits in (1, 4, 8, 24):
        w.add("core%d" % bits, "good", "exact", "exact", *core_file(bits))

    # Run-length files as encoders write them.
    colours = table(256)
    rows = index_pattern(256, runs=True)
    w.add("rle8", "good", "exact", "exact", *rle_file(1, rle8(rows[::-1]), rows, colours))
    colours4 = table(16)
    rows4 = index_pattern(16, runs=True)
    w.add("rle4", "good", "exact", "exact", *rle_file(2, rle4(rows4[::-1]), rows4, colours4))
    # Without biSizeImage the runs go on to the end of the file.
    w.add("rle8_size_image_zero", "good", "exact", "exact",
          *rle_file(1, rle8(rows[::-1]), rows, colours, size_image=0))
    # A move right and up leaves pixels that no run paints: index 0.
    delta = bytes([5, 9, 0, 2, 3, 2, 4, 7, 0, 0, 2, 1, 0, 1])
    rows = [[0] * W for _ in range(H)]
    for x in range(5):
        rows[H - 1][x] = 9
    for x in range(8, 12):
        rows[H - 1 - 2][x] = 7
    rows[H - 1 - 3][0] = rows[H - 1 - 3][1] = 1
    # Pillow places the pixels after a move one row off.
    w.add("rle8_delta", "good", "exact", "skip", *rle_file(1, delta, rows, colours))

    # Damaged run-length data: runs are cut at the end of their row, a move past the
    # image or data that stop early end the decoding, and the rest stays index 0.
    def damaged_rle(name, data, painted, compression=1, magick="skip", pillow="skip"):
        rows = [[0] * W for _ in range(H)]
        for x, y, v in painted:
            rows[H - 1 - y][x] = v
        cols = colours if compression == 1 else colours4
        w.add(name, "damaged", magick, pillow, *rle_file(compression, data, rows, cols))

    damaged_rle("rle8_run_past_row", bytes([20, 3, 0, 0, 2, 4, 0, 1]),
                [(x, 0, 3) for x in range(W)] + [(0, 1, 4), (1, 1, 4)])
    damaged_rle("rle8_absolute_past_row", bytes([10, 1, 0, 6, 2, 2, 2, 2, 2, 2, 0, 1]),
                [(x, 0, 1) for x in range(10)] + [(x, 0, 2) for x in range(10, W)])
    # ImageMagick decodes these the same way; Pillow gives up on all but one.
    damaged_rle("rle8_delta_past_image", bytes([3, 5, 0, 2, 0, 200, 4, 6, 0, 1]), [(x, 0, 5) for x in range(3)],
                magick="exact")
    damaged_rle("rle8_without_end", bytes([4, 8, 0, 0, 2, 9]),
                [(x, 0, 8) for x in range(4)] + [(0, 1, 9), (1, 1, 9)], magick="exact")
    damaged_rle("rle8_cut_in_absolute", bytes([0, 9, 1, 2, 3, 4]), [(0, 0, 1), (1, 0, 2), (2, 0, 3), (3, 0, 4)],
                magick="exact")
    damaged_rle("rle8_more_lines_than_rows", bytes([1, 6, 0, 0] * (H + 3) + [0, 1]), [(0, y, 6) for y in range(H)],
                magick="exact", pillow="exact")
    damaged_rle("rle4_run_past_row", bytes([17, 0x12, 0, 0, 3, 0x34, 0, 1]),
                [(x, 0, 1 if x % 2 == 0 else 2) for x in range(W)] + [(0, 1, 3), (1, 1, 4), (2, 1, 3)], 2)
    damaged_rle("rle4_cut_in_absolute", bytes([0, 8, 0x56, 0x78]), [(0, 0, 5), (1, 0, 6), (2, 0, 7), (3, 0, 8)], 2,
                magick="exact")

    # Pixel indices beyond the file's colour table become black. ImageMagick takes
    # entry 0 for them and Pillow a grey ramp.
    w.add("rgb8_index_beyond_table", "damaged", "skip", "skip", *palette_file(8, 4, n_pixels=10))
    w.add("rgb4_index_beyond_table", "damaged", "skip", "skip", *palette_file(4, 3, n_pixels=16))
    w.add("rgb1_index_beyond_table", "damaged", "skip", "skip", *palette_file(1, 1, n_pixels=2))
    colours = table(4)
    data = bytes([3, 2, 2, 9, 0, 0, 0, 3, 1, 200, 3, 0, 0, 1])
    rows = [[0] * W for _ in range(H)]
    rows[H - 1][0:5] = [2, 2, 2, 9, 9]
    rows[H - 2][0:3] = [1, 200, 3]
    w.add("rle8_index_beyond_table", "damaged", "skip", "skip", *rle_file(1, data, rows, colours))

    # Files that must be refused: cut short anywhere, or impossible.
    good8, _ = palette_file(8, 256)
    good24 = open(os.path.join(folder, "rgb24.bmp"), "rb").read()
    bf16, _ = masked_file(16, (0xF800, 0x07E0, 0x001F), 3)
    core8, _ = core_file(8)
    for name, data in (("cut_in_pixels_8", good8[:-3]), ("cut_in_pixels_24", good24[:-1]),
                       ("cut_in_table", good8[:14 + 40 + 500]), ("cut_in_header", good8[:30]),
                       ("cut_in_masks", bf16[:14 + 40 + 6]), ("core_cut_in_pixels", core8[:-2]),
                       ("core_cut_in_header", core8[:20])):
        w.add(name, "refused", "skip", "skip", data)
    split = bytearray(bf16)
    split[54:58] = struct.pack("<I", 0xF0F0)  # a red mask of two runs
    w.add("bitfields16_split_mask", "refused", "skip", "skip", bytes(split))
    w.close()


if __name__ == "__main__":
    main(sys.argv[1])
