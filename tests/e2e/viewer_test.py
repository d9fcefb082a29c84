"""The viewer opened from the command line: what it shows, its keys and scroll bars,
what it remembers, how it closes and what it does with refused and dropped files."""
import os
import struct
import subprocess
import sys
import time

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(__file__))
from kestrel_e2e import main, run, wait_for  # noqa: E402

SETTINGS = r"HKCU\Software\Fernwoodlabs\Kestrel\settings"
W, H = 64, 48


def pattern():
    """Every pixel different enough to see a shift by one."""
    a = np.zeros((H, W, 3), np.uint8)
    y, x = np.mgrid[0:H, 0:W]
    a[..., 0] = x * 4
    a[..., 1] = y * 5
    a[..., 2] = (x * y) % 256
    return a


def coords_image(w, h):
    """A big image whose pixels tell their own coordinates."""
    y, x = np.mgrid[0:h, 0:w]
    a = np.zeros((h, w, 3), np.uint8)
    a[..., 0] = x & 255
    a[..., 1] = y & 255
    a[..., 2] = ((x >> 8) << 4) | (y >> 8)
    return a


def decode(p):
    r, g, b = int(p[0]), int(p[1]), int(p[2])
    return (b >> 4) * 256 + r, (b & 15) * 256 + g


def dos(path):
    return "Z:" + path.replace("/", "\\")


def write_bmp(path, a, bits):
    """16-bit (5-5-5) and 32-bit BMPs with a 40-byte header, which ImageMagick does
    not write."""
    h, w, _ = a.shape
    stride = (w * bits // 8 + 3) & ~3
    rows = b""
    for y in range(h - 1, -1, -1):
        row = b""
        for x in range(w):
            r, g, b = (int(v) for v in a[y, x])
            if bits == 16:
                row += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
            else:
                row += bytes((b, g, r, 0))
        rows += row + b"\0" * (stride - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(rows), 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + len(header) - 40 + len(rows), 0, 0, 54) + header + rows)


def make_files(folder):
    """name -> (path, the pixels a correct decoder sees)"""
    src = os.path.join(folder, "pattern.png")
    Image.fromarray(pattern()).save(src)
    files = {}

    def magick(name, *opts):
        path = os.path.join(folder, name)
        run("convert", src, *opts, path)
        files[name] = (path, np.asarray(Image.open(path).convert("RGB")))

    magick("photo.jpg", "-quality", "95")
    # The JPEG as ImageMagick decodes it.
    ref = os.path.join(folder, "photo-ref.png")
    run("convert", os.path.join(folder, "photo.jpg"), ref)
    files["photo.jpg"] = (files["photo.jpg"][0], np.asarray(Image.open(ref).convert("RGB")))
    magick("picture.png")
    for name, colours, kind in (("one.bmp", 2, "BMP3:"), ("four.bmp", 16, "BMP3:"), ("eight.bmp", 200, "BMP3:")):
        path = os.path.join(folder, name)
        run("convert", src, "-colors", str(colours), "-compress", "none", kind + path)
        png = path + ".png"
        run("convert", path, png)
        files[name] = (path, np.asarray(Image.open(png).convert("RGB")))
    magick("true.bmp", "-compress", "none", "-define", "bmp:format=bmp3")
    for name, bits in (("sixteen.bmp", 16), ("thirtytwo.bmp", 32)):
        path = os.path.join(folder, name)
        write_bmp(path, pattern(), bits)
        files[name] = (path, pattern())
    gif = os.path.join(folder, "anim.gif")
    run("convert", src, "-colors", "200", gif)
    files["anim.gif"] = (gif, np.asarray(Image.open(gif).convert("RGB")))
    return files


def viewer_window(name):
    title = "%s - Kestrel Image Viewer" % name
    ids = wait_for(lambda: run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title,
                               check=False).stdout.split(), timeout=30, what="viewer " + title)
    return ids[-1]


def geometry(wid):
    out = run("xdotool", "getwindowgeometry", "--shell", wid).stdout
    g = dict(line.split("=") for line in out.split())
    return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])


def shot(desk):
    return np.asarray(desk.screenshot().convert("RGB")).astype(int)


def find(screen, block, tolerance=0):
    """Where block shows on the screen (each channel within the tolerance), or None.
    A few sample points pick the candidates, so black backgrounds cost nothing."""
    bh, bw, _ = block.shape
    sh, sw, _ = screen.shape
    if bh > sh or bw > sw:
        return None
    mask = np.ones((sh - bh + 1, sw - bw + 1), bool)
    for y, x in ((0, 0), (0, bw - 1), (bh - 1, 0), (bh - 1, bw - 1), (bh // 2, bw // 2)):
        part = screen[y:y + sh - bh + 1, x:x + sw - bw + 1]
        mask &= np.abs(part - block[y, x]).max(axis=2) <= tolerance
    for y, x in zip(*np.nonzero(mask)):
        if np.abs(screen[y:y + bh, x:x + bw] - block).max() <= tolerance:
            return x, y
    return None


def shows(desk, expected, tolerance=0):
    """True when the screen shows expected somewhere, each channel within the
    tolerance (for lossy files and 5-bit channels)."""
    return find(shot(desk), expected.astype(int), tolerance) is not None


def eventually(check, timeout=6.0):
    """The window repaints in its own time."""
    end = time.time() + timeout
    while True:
        if check():
            return True
        if time.time() > end:
            return False
        time.sleep(0.3)


def press(desk, wid, *keys):
    run("xdotool", "windowfocus", "--sync", wid, check=False)
    time.sleep(0.3)
    desk.key("shift")
    time.sleep(0.3)
    desk.key(*keys)
    time.sleep(1.0)


def close_viewer(desk, wid, p):
    press(desk, wid, "Escape")
    wait_for(lambda: p.poll() is not None, timeout=15, what="the viewer to close")
    assert desk.new_exchange_files() == [], desk.new_exchange_files()


def test_opens_every_kind_at_its_true_pixels(desk, folder):
    for name, (path, expected) in make_files(folder).items():
        p = desk.start(dos(path))
        wid = viewer_window(name)
        time.sleep(0.5)
        if name.endswith(".jpg"):
            assert shows(desk, expected, tolerance=3), name
        elif name == "sixteen.bmp":
            # Five bits a channel; decoders widen them by a shift or by scaling.
            assert shows(desk, expected, tolerance=7), name
        else:
            assert shows(desk, expected), name
        assert desk.reg_query(SETTINGS, "ofile") == ("REG_SZ", name)
        assert desk.reg_query(SETTINGS, "lastodir") == ("REG_SZ", dos(folder))
        close_viewer(desk, wid, p)


def test_zoom_keys(desk, folder):
    path = os.path.join(folder, "pattern.png")
    Image.fromarray(pattern()).save(path)
    a = pattern()
    p = desk.start(dos(path))
    wid = viewer_window("pattern.png")
    time.sleep(0.5)
    assert eventually(lambda: shows(desk, a))
    press(desk, wid, "Return")  # nothing
    assert p.poll() is None and shows(desk, a)
    press(desk, wid, "ctrl+l")
    assert eventually(lambda: shows(desk, a.repeat(2, axis=0).repeat(2, axis=1))), "Ctrl+L doubles every pixel"
    press(desk, wid, "ctrl+g")
    assert eventually(lambda: shows(desk, a))
    press(desk, wid, "ctrl+s")
    half = a.reshape(H // 2, 2, W // 2, 2, 3).astype(int).sum(axis=(1, 3)) // 4
    assert eventually(lambda: shows(desk, half, tolerance=1)), "Ctrl+S halves"
    assert not shows(desk, a)
    press(desk, wid, "ctrl+g")
    press(desk, wid, "shift+5")
    box = wait_for(lambda: run("xdotool", "search", "--onlyvisible", "--name", "^Scale Image by Percentage$",
                               check=False).stdout.split(), what="the percentage dialog")[-1]
    # OK, Cancel, then the edit, whose text Tab selects.
    press(desk, box, "Tab", "Tab", "3", "0", "0", "Return")
    assert eventually(lambda: shows(desk, a.repeat(3, axis=0).repeat(3, axis=1))), "300 % triples"
    close_viewer(desk, wid, p)


def test_scroll_bars(desk, folder):
    path = os.path.join(folder, "big.png")
    Image.fromarray(coords_image(2000, 900)).save(path)
    p = desk.start(dos(path))
    wid = viewer_window("big.png")
    time.sleep(0.5)
    press(desk, wid, "ctrl+g")  # opened fitted; back to the original size
    x0, y0, w, h = geometry(wid)
    screen = shot(desk)
    origin = find(screen, coords_image(2000, 900)[:8, :8].astype(int))
    assert origin, "the image's top-left corner"
    ox, oy = origin

    def offset():
        return decode(shot(desk)[oy, ox])

    # The client width: how far the image runs before the vertical bar.
    row = screen[oy, ox:x0 + w]
    client_w = next(i for i in range(len(row)) if decode(row[i]) != (i, 0))
    assert offset() == (0, 0)
    sb = x0 + w - ox - client_w  # the bar's width
    right_arrow = (x0 + w - sb - sb // 2 - 1, y0 + h - sb // 2 - 1)
    down_arrow = (x0 + w - sb // 2 - 1, y0 + h - sb - sb // 2 - 1)
    desk.click(*right_arrow)
    time.sleep(0.5)
    assert offset() == (8, 0), offset()
    desk.click(*down_arrow)
    time.sleep(0.5)
    assert offset() == (8, 4), offset()
    # The trough just left of the right arrow: one page, the client width.
    desk.click(right_arrow[0] - sb - 4, right_arrow[1])
    time.sleep(0.5)
    # A page further, but never past the end.
    assert offset() == (min(8 + client_w, 2000 - client_w), 4), (offset(), client_w)
    close_viewer(desk, wid, p)


def test_refused_ending_closes_by_itself(desk, folder):
    path = os.path.join(folder, "photo.jp2")
    Image.fromarray(pattern()).save(path, "PNG")
    p = desk.start(dos(path))
    desk.focus_window("Kestrel")  # the "File Error!" box, captioned "Kestrel"
    desk.key("Return")
    wait_for(lambda: p.poll() is not None, timeout=15, what="the viewer to close by itself")
    assert desk.new_exchange_files() == []


def test_drop_opens_the_first_file_in_a_new_viewer(desk, folder):
    paths = []
    for name in ("first.png", "second.png", "third.png"):
        paths.append(os.path.join(folder, name))
        Image.fromarray(pattern()).save(paths[-1])
    p = desk.start(dos(paths[1]))
    viewer_window("second.png")
    helper = os.path.join(desk.build_dir, "tests", "e2e", "DropFiles.exe.so")
    run("wine", helper, "second.png - Kestrel Image Viewer", *[dos(x) for x in paths], env=desk.env)
    viewer_window("first.png")
    time.sleep(2)
    titles = run("xdotool", "search", "--onlyvisible", "--name", "Kestrel Image Viewer", check=False).stdout.split()
    names = sorted(run("xdotool", "getwindowname", t).stdout.strip() for t in titles)
    assert names == ["first.png - Kestrel Image Viewer", "second.png - Kestrel Image Viewer"], names
    assert p.poll() is None  # the viewer that got the drop stays


def other_viewers(name):
    return run("xdotool", "search", "--onlyvisible", "--name", "^%s - Kestrel Image Viewer$" % name,
               check=False).stdout.split()


def view_pattern_enlarged(desk, folder):
    """A viewer on the test pattern, zoomed to 2x; its process and window."""
    src = os.path.join(folder, "pattern.png")
    Image.fromarray(pattern()).save(src)
    p = desk.start(dos(src))
    wid = viewer_window("pattern.png")
    press(desk, wid, "ctrl+l")
    return p, wid


def test_copy_reaches_other_programs(desk, folder):
    p, wid = view_pattern_enlarged(desk, folder)
    press(desk, wid, "ctrl+c")
    # A Wine program of its own reads the DIB; it is what the window shows, at 2x.
    dumped = os.path.join(folder, "clip.bmp")
    helper = os.path.join(desk.build_dir, "tests", "e2e", "ClipboardDump.exe.so")
    out = run("wine", helper, dumped, env=desk.env).stdout
    assert "dib=1 bitmap=1 palette=1" in out, out
    copied = np.asarray(Image.open(dumped).convert("RGB"))
    assert copied.shape == (2 * H, 2 * W, 3), copied.shape
    assert eventually(lambda: shows(desk, copied)), "the copied image is what the viewer shows"
    # And an X11 program gets the same picture from Wine's export.
    targets = run("xclip", "-selection", "clipboard", "-t", "TARGETS", "-o").stdout.split()
    kind = next(t for t in ("image/png", "image/bmp") if t in targets)
    raw = subprocess.run(["xclip", "-selection", "clipboard", "-t", kind, "-o"], stdout=subprocess.PIPE,
                         check=True).stdout
    exported = os.path.join(folder, "x11." + kind.split("/")[1])
    with open(exported, "wb") as f:
        f.write(raw)
    assert np.array_equal(np.asarray(Image.open(exported).convert("RGB")), copied), kind
    close_viewer(desk, wid, p)


def save_from_viewer(desk, wid, keys, title, target):
    press(desk, wid, keys)
    wait_for(lambda: run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title,
                         check=False).stdout.split(), timeout=30, what=title)
    desk.focus_window(title)
    desk.key("Home", "shift+End")
    run("xdotool", "type", "--delay", "20", dos(target))
    desk.key("Return")


def test_save_resized_and_convert_reopen_on_the_new_file(desk, folder):
    p, wid = view_pattern_enlarged(desk, folder)
    big = os.path.join(folder, "big.png")
    save_from_viewer(desk, wid, "ctrl+m", "Save Resized Image as:", big)
    # The viewer ends and a new one shows the file written at the display size.
    wait_for(lambda: p.poll() is not None, timeout=30, what="the first viewer to end")
    wid = viewer_window("big.png")
    assert Image.open(big).size == (2 * W, 2 * H)
    shown = np.asarray(Image.open(big).convert("RGB"))
    assert eventually(lambda: shows(desk, shown)), "the new viewer shows the resized file"

    # Convert works from the file as it is, whatever the zoom.
    press(desk, wid, "ctrl+s")
    small = os.path.join(folder, "big.bmp")
    save_from_viewer(desk, wid, "ctrl+n", "Convert File to:", small)
    wait_for(lambda: other_viewers("big.png") == [], timeout=30, what="the second viewer to end")
    wid = viewer_window("big.bmp")
    assert np.array_equal(np.asarray(Image.open(small).convert("RGB")), shown), "converted pixels"
    assert desk.reg_query(SETTINGS, "sfile")[1] == "big.bmp"
    press(desk, wid, "Escape")
    wait_for(lambda: other_viewers("big.bmp") == [], timeout=15, what="the last viewer to close")


if __name__ == "__main__":
    main([test_opens_every_kind_at_its_true_pixels, test_zoom_keys, test_scroll_bars,
          test_refused_ending_closes_by_itself, test_drop_opens_the_first_file_in_a_new_viewer,
          test_copy_reaches_other_programs, test_save_resized_and_convert_reopen_on_the_new_file])
