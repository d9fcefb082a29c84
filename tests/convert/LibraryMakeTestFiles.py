#!/usr/bin/python3
"""Makes the damaged files in tests/data/bad/ on which the image library itself fails:
each is a small sound file cut short, and each is named for where the cut falls.
    cut_in_colour_table.xpm    Debian's DevIL 1.7.8 ends with a segmentation fault
    cut_before_gamma_data.png  DevIL 1.7.8 spins for ever at the end of the file
and one whose header claims a size far beyond its bytes:
    rle_32768_square.tga       DevIL 1.7.8 takes 4 GB and half a minute to load it
Run it again after changing it:
    /usr/bin/python3 tests/convert/LibraryMakeTestFiles.py
"""
import os
import struct
import zlib

BAD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "bad")
WIDTH, HEIGHT = 12, 8


def xpm():
    """An eight-colour gradient as ImageMagick writes it."""
    symbols = " .XoO+@#"
    colours = ["red", "#DB6D00002492", "#B6DB00004924", "#924900006DB6", "#6DB600009249",
               "#49240000B6DB", "#24920000DB6D", "blue"]
    lines = ['"%d %d %d 1 ",' % (WIDTH, HEIGHT, len(colours))]
    lines += ['"%s c %s",' % (s, c) for s, c in zip(symbols, colours)]
    lines += ['"%s"%s' % (s * WIDTH, "," if i + 1 < HEIGHT else "") for i, s in enumerate(symbols)]
    return ("/* XPM */\nstatic const char *gradient[] = {\n" + "\n".join(lines) + "\n};\n").encode()


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png():
    """A red-to-blue RGB gradient with a gamma chunk before its pixels."""
    rows = b"".join(b"\0" + bytes((255 - 32 * y, 0, 32 * y) * WIDTH) for y in range(HEIGHT))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)) +
            chunk(b"gAMA", struct.pack(">I", 45455)) + chunk(b"IDAT", zlib.compress(rows)) +
            chunk(b"IEND", b""))


def tga():
    """A run-length coded 24-bit TGA that says it is 32768 pixels square."""
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 10, 0, 0, 0, 0, 0, 32768, 32768, 24, 0x20)
    return header + bytes(1900 - len(header))


def main():
    whole = xpm()
    # Inside the third colour's line.
    cut = whole.index(b'"X c') + 4
    with open(os.path.join(BAD, "cut_in_colour_table.xpm"), "wb") as f:
        f.write(whole[:cut])
    whole = png()
    # Right after the gamma chunk's type (a cut inside its data the library reports).
    cut = whole.index(b"gAMA") + 4
    with open(os.path.join(BAD, "cut_before_gamma_data.png"), "wb") as f:
        f.write(whole[:cut])
    with open(os.path.join(BAD, "rle_32768_square.tga"), "wb") as f:
        f.write(tga())


if __name__ == "__main__":
    main()
