#!/usr/bin/python3
"""Our GIF codecs against Debian's independent ones, through gif_tool under Wine.

Reader: GIFs made by ImageMagick and Pillow (interlaced, local tables, animated,
transparent, 2 to 256 colours, odd sizes) and the GIF test suite in the shared
corpora decode here to the pixels Pillow and ImageMagick see in the first image
(pixels that are transparent there are not compared: we ignore transparency).
Writer: the GIFs we write decode to the same indices and colours in Pillow, to
the same colours in ImageMagick and giflib (gif2rgb), and are opaque everywhere.
Usage: GifInterop_test.py <build folder>
"""
import glob
import io
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

BUILD = sys.argv[1]
TOOL = os.path.join(BUILD, "tests", "imaging", "gif_tool.exe.so")
# The shared folder lies beside the repository, read-only.
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORPUS = os.path.join(os.path.dirname(REPO), "shared", "corpora", "gif-suite")
CONVERT = "/usr/bin/convert"
IDENTIFY = "/usr/bin/identify"
failures = []


def dos(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def gif_tool(*args):
    env = dict(os.environ, WINEDEBUG="-all")
    run = subprocess.run(["wine", TOOL] + list(args), env=env, capture_output=True, timeout=120)
    return run.returncode


checks = 0


def check(condition, message):
    global checks
    checks += 1
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def read_ours(gif_path, work):
    bmp = os.path.join(work, "exchange.bmp")
    status = gif_tool("read", dos(gif_path), "1", dos(bmp))
    if status != 10:
        return None, status
    return Image.open(bmp).convert("RGB"), status


def first_frame_rgba(gif_path):
    """The first image as Pillow and ImageMagick see it, RGBA."""
    with Image.open(gif_path) as im:
        pillow = im.convert("RGBA")
    raw = subprocess.run([CONVERT, gif_path + "[0]", "-depth", "8", "rgba:-"], capture_output=True,
                         check=True).stdout
    magick = Image.frombytes("RGBA", pillow.size, raw) if len(raw) == pillow.size[0] * pillow.size[1] * 4 else None
    return pillow, magick


def compare_opaque(ours, reference, label):
    if reference is None:
        check(False, label + ": no reference decoding")
        return
    check(ours.size == reference.size, f"{label}: size {ours.size} != {reference.size}")
    if ours.size != reference.size:
        return
    bad = 0
    for (r, g, b), (rr, rg, rb, ra) in zip(ours.getdata(), reference.getdata()):
        if ra == 255 and (r, g, b) != (rr, rg, rb):
            bad += 1
    check(bad == 0, f"{label}: {bad} opaque pixels differ")


def check_reader(gif_path, work, label):
    ours, status = read_ours(gif_path, work)
    check(ours is not None, f"{label}: gif_tool read ended with {status}")
    if ours is None:
        return
    pillow, magick = first_frame_rgba(gif_path)
    compare_opaque(ours, pillow, label + " vs Pillow")
    compare_opaque(ours, magick, label + " vs ImageMagick")


def palette_image(width, height, colours, seed=0):
    im = Image.new("P", (width, height))
    pal = []
    for i in range(colours):
        pal += [(i * 37 + seed) & 255, (255 - i * 3) & 255, (i * 11) & 255]
    im.putpalette(pal + [0] * (768 - len(pal)))
    im.putdata([(x * 7 + y * 3 + seed + (x * y) % 5) % colours for y in range(height) for x in range(width)])
    return im


def pillow_makes(work):
    cases = {
        "pillow_2_colours_odd.gif": ([palette_image(33, 7, 2)], {}),
        "pillow_5_colours_interlaced.gif": ([palette_image(19, 23, 5)], {"interlace": True}),
        "pillow_16_colours.gif": ([palette_image(16, 16, 16)], {}),
        "pillow_100_colours.gif": ([palette_image(101, 3, 100)], {}),
        "pillow_256_colours.gif": ([palette_image(64, 64, 256)], {}),
        "pillow_transparent.gif": ([palette_image(9, 9, 4)], {"transparency": 2}),
        "pillow_animated.gif": ([palette_image(12, 8, 6, s) for s in range(3)],
                                {"save_all": True, "loop": 0, "duration": 40}),
    }
    for name, (frames, options) in cases.items():
        path = os.path.join(work, name)
        if options.get("save_all"):
            options = dict(options, append_images=frames[1:])
        frames[0].save(path, **options)
        yield name, path


def magick_makes(work):
    cases = {
        "magick_gradient_interlaced.gif": ["-size", "37x29", "gradient:red-blue", "-colors", "64",
                                           "-interlace", "GIF"],
        "magick_plasma_256.gif": ["-size", "50x41", "plasma:fractal", "-seed", "3", "-colors", "256"],
        "magick_two_colours.gif": ["-size", "13x5", "pattern:checkerboard", "-colors", "2"],
        "magick_transparent.gif": ["-size", "20x10", "xc:white", "-fill", "red", "-draw",
                                   "rectangle 2,2 8,8", "-transparent", "white"],
        "magick_animated_local_tables.gif": ["-size", "15x11", "xc:yellow", "(", "-size", "15x11",
                                             "gradient:green-black", "-colors", "7", ")",
                                             "-delay", "10"],
    }
    for name, args in cases.items():
        path = os.path.join(work, name)
        subprocess.run([CONVERT] + args + [path], check=True)
        yield name, path


def bmp8(width, height, palette, pixels):
    stride = (width + 3) & ~3
    off = 54 + 4 * len(palette)
    rows = b"".join(bytes(pixels[y * width:(y + 1) * width]) + bytes(stride - width)
                    for y in reversed(range(height)))
    head = b"BM" + struct.pack("<IHHI", off + len(rows), 0, 0, off)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 0, 0, len(palette), 0)
    table = b"".join(bytes([b, g, r, 0]) for r, g, b in palette)
    return head + info + table + rows


def check_writer(work):
    cases = [
        # the lowest used entry (packed index 0) covers most of the picture
        ("mostly_index_0", 40, 30, 6, lambda x, y: 3 if (x > 5 and y > 5) else (x * y) % 5 + 3),
        ("single_colour", 7, 3, 1, lambda x, y: 9),
        ("odd_size_17_colours", 23, 11, 17, lambda x, y: (x + 2 * y) % 17),
        ("all_256", 61, 47, 256, lambda x, y: (x * 13 + y * 7) % 256),
    ]
    for label, width, height, colours, pixel in cases:
        palette = [((i * 53) & 255, (i * 91 + 7) & 255, (255 - i) & 255) for i in range(256)]
        pixels = [pixel(x, y) for y in range(height) for x in range(width)]
        exchange = os.path.join(work, "write_exchange.bmp")
        with open(exchange, "wb") as f:
            f.write(bmp8(width, height, palette, pixels))
        out = os.path.join(work, label + ".gif")
        status = gif_tool("write", dos(exchange), dos(out))
        check(status == 10, f"writer {label}: gif_tool write ended with {status}")
        if status != 10:
            continue
        expected = [palette[p] for p in pixels]
        used = sorted(set(pixels))
        with Image.open(out) as im:
            check(im.mode == "P", f"writer {label}: Pillow mode {im.mode}")
            got_indices = list(im.getdata())
            check(got_indices == [used.index(p) for p in pixels], f"writer {label}: Pillow indices")
            rgba = im.convert("RGBA")
        check([p[:3] for p in rgba.getdata()] == expected, f"writer {label}: Pillow colours")
        check(all(p[3] == 255 for p in rgba.getdata()), f"writer {label}: Pillow sees transparent pixels")
        opaque = subprocess.run([IDENTIFY, "-format", "%[opaque]", out], capture_output=True,
                                text=True).stdout.strip().lower()
        check(opaque == "true", f"writer {label}: ImageMagick reports opaque={opaque}")
        raw = subprocess.run([CONVERT, out, "-depth", "8", "rgb:-"], capture_output=True).stdout
        check(raw == bytes(c for p in expected for c in p), f"writer {label}: ImageMagick colours")
        rgb = os.path.join(work, label + ".rgb")
        subprocess.run(["gif2rgb", "-1", "-o", rgb, out], check=True, capture_output=True)
        with open(rgb, "rb") as f:
            check(f.read() == bytes(c for p in expected for c in p), f"writer {label}: giflib colours")


def main():
    with tempfile.TemporaryDirectory() as work:
        for name, path in list(pillow_makes(work)) + list(magick_makes(work)):
            check_reader(path, work, name)
        suite = sorted(glob.glob(os.path.join(CORPUS, "*.gif")))
        check(len(suite) > 0, "no GIF test suite in " + CORPUS)
        for path in suite:
            name = os.path.basename(path)
            ours, status = read_ours(path, work)
            check(ours is not None, f"{name}: gif_tool read ended with {status}")
            if ours is None:
                continue
            frame = os.path.join(CORPUS, "frames", name[:-4] + "-0.png")
            if not os.path.exists(frame):  # a still picture has a single frame
                frame = os.path.join(CORPUS, "frames", name[:-4] + ".png")
            reference = Image.open(frame).convert("RGBA")
            compare_opaque(ours, reference, name + " vs its reference frame")
        check_writer(work)
    print(f"{checks} checks, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
