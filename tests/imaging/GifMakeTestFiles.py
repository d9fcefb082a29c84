#!/usr/bin/python3
"""Makes the broken GIFs in tests/data/bad/ and the fuzz seeds in tests/data/fuzz/gif/.

Each broken file is named for what is wrong with it; files whose name starts with
"no_image_" are well formed but hold no image (the reader returns kGifReadNoImage),
all others must make the reader fail (kGifReadFailed). Run it again after changing it:
    /usr/bin/python3 tests/imaging/GifMakeTestFiles.py
"""
import io
import os
import struct

from PIL import Image

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")


def lzw(pixels, code_size):
    """Plain GIF LZW, codes packed LSB first, no sub-blocks."""
    clear, end = 1 << code_size, (1 << code_size) + 1
    width, next_code = code_size + 1, end + 1
    table = {(i,): i for i in range(clear)}
    codes = [clear]
    string = ()
    for p in pixels:
        if string + (p,) in table:
            string += (p,)
            continue
        codes.append((table[string], width))
        if next_code < 4096:
            table[string + (p,)] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        string = (p,)
    codes.append((table[string], width))
    codes.append((end, width))
    codes[0] = (clear, code_size + 1)
    return raw_codes([code for code, _ in codes], [w for _, w in codes])


def raw_codes(codes, widths):
    acc = bits = 0
    out = bytearray()
    for code, w in zip(codes, widths):
        acc |= code << bits
        bits += w
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data, size=255):
    out = bytearray()
    for i in range(0, len(data), size):
        chunk = data[i:i + size]
        out += bytes([len(chunk)]) + chunk
    return bytes(out + b"\x00")


def table(n):
    return b"".join(bytes([(i * 40) & 255, 255 - i, (i * 90) & 255]) for i in range(n))


def gif(width=4, height=3, pixels=None, colours=4, version=b"89a", code_size=None, data=None,
        before_image=b"", descriptor_flags=0, local=b""):
    bits = max(1, (colours - 1).bit_length())
    if pixels is None:
        pixels = [(x + y) % colours for y in range(height) for x in range(width)]
    if code_size is None:
        code_size = max(2, bits)
    if data is None:
        data = sub_blocks(lzw(pixels, code_size))
    head = b"GIF" + version + struct.pack("<HHBBB", width, height, 0x80 | (bits - 1), 0, 0)
    head += table(1 << bits)
    image = b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, descriptor_flags) + local
    return head + before_image + image + bytes([code_size]) + data + b";"


def write(folder, name, content):
    with open(os.path.join(ROOT, folder, name), "wb") as f:
        f.write(content)


def bad_files():
    good = gif()
    image_at = good.index(b"\x2c")
    data_at = image_at + 11
    yield "version_87b.gif", gif(version=b"87b")
    yield "version_lowercase_89A.gif", gif(version=b"89A")
    yield "not_a_gif_signature.gif", b"JIF" + good[3:]
    yield "empty_file.gif", b""
    yield "cut_in_signature.gif", good[:4]
    yield "cut_in_screen_descriptor.gif", good[:9]
    yield "cut_in_global_table.gif", good[:15]
    yield "cut_in_image_descriptor.gif", good[:image_at + 5]
    yield "cut_before_code_size.gif", good[:data_at]
    yield "cut_in_image_data.gif", good[:data_at + 3]
    yield "cut_in_local_table.gif", gif(descriptor_flags=0x81)[:image_at + 10 + 5]
    yield "no_trailer.gif", good[:-1]
    yield "code_size_12.gif", gif(code_size=12, data=b"\x01\x00\x00")
    yield "extension_cut_short.gif", good[:image_at] + b"\x21\xfe\x05ab"
    yield "extension_without_terminator.gif", good[:image_at] + b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00"
    yield "zero_width.gif", gif(width=0, height=3, pixels=[], data=sub_blocks(raw_codes([4, 5], [3, 3])))
    yield "zero_height.gif", gif(width=3, height=0, pixels=[], data=sub_blocks(raw_codes([4, 5], [3, 3])))
    # After the clear code (4) a string code (7) that no entry has been made for.
    yield "first_code_not_a_colour.gif", gif(data=sub_blocks(raw_codes([4, 7, 5], [3, 3, 3])))
    # 10 lies beyond the next free code (8 after four codes).
    yield "code_beyond_the_table.gif", gif(data=sub_blocks(raw_codes([4, 1, 2, 3, 10, 5],
                                                                        [3, 3, 3, 3, 4, 4])))
    # The data ends after whole codes, without an end code: no bit is left.
    yield "data_ends_without_end_code.gif", gif(data=sub_blocks(raw_codes([4, 1, 2, 3, 0],
                                                                             [3, 3, 3, 3, 4])))
    yield "no_image_header_and_trailer.gif", good[:13 + 12] + b";"
    yield "no_image_comment_only.gif", good[:13 + 12] + b"\x21\xfe\x02hi\x00;"


def pillow_gif(**save):
    frames = save.pop("frames")
    out = io.BytesIO()
    frames[0].save(out, "GIF", save_all=len(frames) > 1, append_images=frames[1:], **save)
    return out.getvalue()


def palette_image(width, height, colours, seed=0):
    im = Image.new("P", (width, height))
    im.putpalette(list(table(colours)) + [0] * (768 - 3 * colours))
    im.putdata([(x * 3 + y * 5 + seed) % colours for y in range(height) for x in range(width)])
    return im


def seeds():
    yield "two_colours.gif", gif(width=5, height=2, colours=2)
    yield "sixteen_colours.gif", gif(width=8, height=8, colours=16)
    yield "many_codes.gif", gif(width=64, height=20, colours=256,
                                pixels=[(i * 7919) % 256 for i in range(64 * 20)])
    yield "local_table.gif", gif(descriptor_flags=0x81, local=table(4))
    yield "comment_and_control.gif", gif(before_image=b"\x21\xfe\x03abc\x00\x21\xf9\x04\x01\x00\x00\x01\x00")
    yield "interlaced.gif", pillow_gif(frames=[palette_image(7, 11, 5)], interlace=True)
    yield "animated.gif", pillow_gif(frames=[palette_image(6, 4, 8, s) for s in range(3)], loop=0,
                                     duration=50)
    yield "transparent.gif", pillow_gif(frames=[palette_image(5, 5, 3)], transparency=1)
    yield "version_87a.gif", gif(version=b"87a")


if __name__ == "__main__":
    for name, content in bad_files():
        write("bad", name, content)
        write(os.path.join("fuzz", "gif"), "bad_" + name, content)
    for name, content in seeds():
        write(os.path.join("fuzz", "gif"), name, content)
