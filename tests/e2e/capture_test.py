"""Screen capture with the real program: the delay, the two clicks and the band,
the save dialog's depth choice, every save type, the clipboard, the full screen,
the remembered name and quick-menu runs.

The screen shows a known pattern (painted by a helper window at the bottom of the
stack), so every capture is compared pixel for pixel with what was on the screen.
"""
import io
import os
import subprocess
import sys
import time

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(__file__))
from kestrel_e2e import TRAY_HEIGHT, TRAY_WIDTH, main, menu_at, run, wait_for  # noqa: E402

DIALOG = "Save Screen Capture as:"
SETTINGS = r"HKCU\Software\Fernwoodlabs\Kestrel\settings"
# Pure colours: exact in the 16-colour and the 256-colour tables the platform
# reduces to, so low depths and GIF can be compared exactly too.
PURE = np.array([[r, g, b] for r in (0, 255) for g in (0, 255) for b in (0, 255)], dtype=np.uint8)
GRADIENT_X = 512  # left of it 7x5 blocks of pure colours (a shift shows as a
                  # mismatch); right of it smooth colours for lossy types and 24 bits


def make_pattern(width, height):
    y, x = np.mgrid[0:height, 0:width]
    index = ((x // 7) * 5 + (y // 5) * 3 + (x // 7) * (y // 5)) % 8
    image = PURE[index]
    gx = x >= GRADIENT_X
    image[gx, 0] = ((x[gx] - GRADIENT_X) // 2) % 256
    image[gx, 1] = (y[gx] // 3) % 256
    image[gx, 2] = ((x[gx] + y[gx]) // 8) % 256
    return image


def decode(path):
    """Pixels as ImageMagick decodes the file (an independent decoder)."""
    out = subprocess.run(["/usr/bin/convert", path, "-auto-orient", "-depth", "8", "ppm:-"], check=True,
                         stdout=subprocess.PIPE).stdout
    return np.array(Image.open(io.BytesIO(out)).convert("RGB"))


def bmp_bits(path):
    with open(path, "rb") as f:
        head = f.read(30)
    assert head[:2] == b"BM", path
    return int.from_bytes(head[28:30], "little")


def dos(path):
    return "Z:" + path.replace("/", "\\")


class CaptureDesk:
    """A resident Kestrel over the pattern, and the steps of a capture."""

    def __init__(self, desk, folder):
        self.desk = desk
        self.folder = folder
        self.pattern = make_pattern(desk.width, desk.height)
        self.process = None
        self.baseline = None

    def show_pattern(self):
        """A helper window at the bottom of the stack paints the pattern: the bare
        X root forgets a picture as soon as a window over it goes away."""
        path = os.path.join(self.folder, "pattern.bmp")
        Image.fromarray(self.pattern).save(path)
        helper = os.path.join(self.desk.build_dir, "tests", "e2e", "PatternWindow.exe.so")
        self.desk.processes.append(subprocess.Popen(["wine", helper, dos(path)], env=self.desk.env,
                                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for(lambda: np.array_equal(self.shot(), self.pattern), timeout=20, what="the pattern")

    def start(self, *args):
        """Starts the tray host and Kestrel; the baseline is the screen as the user
        sees it before any capture: the pattern, the tray host and its icon."""
        self.show_pattern()
        self.desk.start_tray_host()
        if args:  # a quick-menu run shows its menu at once
            self.baseline = self.shot()
        self.process = self.launch(*args)
        if not args:
            wait_for(self.desk.tray_icon_shown, timeout=20, what="the tray icon")
            time.sleep(0.3)
            self.baseline = self.shot()
        outside_tray = self.baseline.copy()
        outside_tray[:TRAY_HEIGHT, -TRAY_WIDTH:] = self.pattern[:TRAY_HEIGHT, -TRAY_WIDTH:]
        assert_equal_pixels(outside_tray, self.pattern, "the screen before the capture")
        return self.process

    def launch(self, *args):
        """Kestrel with its Wine messages in a log beside the failure screenshots."""
        log = open(os.path.join(self.desk.build_dir, "e2e-capture-kestrel.log"), "a")
        p = subprocess.Popen(["wine", self.desk.program, *args], env=dict(self.desk.env, WINEDEBUG="err+all"),
                             stdout=log, stderr=log)
        self.desk.processes.append(p)
        return p

    def shot(self):
        return np.asarray(self.desk.screenshot().convert("RGB")).copy()

    def region(self, left, top, right, bottom):
        return self.baseline[top:bottom, left:right]

    def capture_window_shown(self):
        return bool(run("xdotool", "search", "--onlyvisible", "--name", "^Kestrel$", check=False).stdout.split())

    def click_icon(self):
        x, y = self.desk.icon_position
        self.desk.click(x, y, 1)
        t = time.time()
        # Off the icon at once, or its tip shows up in the screenshots.
        self.desk.move(self.desk.width // 2, self.desk.height - 10)
        return t

    def wait_capture_mode(self):
        # After a menu the same window may still be up for a moment.
        wait_for(lambda: not self.capture_window_shown(), what="the menu's window to go")
        try:
            wait_for(self.capture_window_shown, timeout=8, step=0.05, what="capture mode")
        except AssertionError:
            raise AssertionError(f"no capture mode; Kestrel's exit status: {self.process.poll()}")
        time.sleep(0.2)

    def drag(self, first, second):
        self.desk.click(*first)
        self.desk.move(*second)
        self.desk.click(*second)

    def capture(self, first, second):
        """Tray click, the delay, two clicks; returns with the save dialog open."""
        self.click_icon()
        self.wait_capture_mode()
        self.drag(first, second)
        return self.dialog()

    def dialog(self):
        return self.desk.focus_window(DIALOG)

    def dialog_gone(self):
        return not run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % DIALOG, check=False).stdout.split()

    def choose_depth(self, steps_up):
        """From the name field, shift+Tab reaches the depth group (last in tab order),
        where "24 Bit" is checked; each Up selects the button above it."""
        self.desk.key("shift+Tab")
        for _ in range(steps_up):
            self.desk.key("Up")

    def save_as(self, path, steps_up=0):
        self.dialog()
        if steps_up:
            self.choose_depth(steps_up)
        self.desk.key("alt+n")
        self.desk.key("Home", "shift+End")
        run("xdotool", "type", "--delay", "20", dos(path))
        self.desk.key("Return")
        wait_for(self.dialog_gone, what="the dialog to close")

    def wait_file(self, path, timeout=15):
        def ready():
            if not os.path.exists(path):
                return False
            size = os.path.getsize(path)
            time.sleep(0.3)
            return size > 0 and size == os.path.getsize(path)
        wait_for(ready, timeout=timeout, what=path)

    def setting(self, name):
        value = self.desk.reg_query(SETTINGS, name)
        return value[1] if value else None


def assert_equal_pixels(actual, expected, what):
    assert actual.shape == expected.shape, f"{what}: size {actual.shape} != {expected.shape}"
    bad = np.argwhere(np.any(actual != expected, axis=-1))
    assert len(bad) == 0, f"{what}: {len(bad)} pixels differ, first at (x, y) = {tuple(bad[0][::-1])}"


def assert_screen_unchanged(actual, baseline, what):
    """The screen equals the baseline, except the tray host's strip, whose icon
    may be drawn in its hover state."""
    actual = actual.copy()
    actual[:TRAY_HEIGHT, -TRAY_WIDTH:] = baseline[:TRAY_HEIGHT, -TRAY_WIDTH:]
    assert_equal_pixels(actual, baseline, what)


def frame_mask(shape, left, top, right, bottom):
    """Pixels the four inverting strokes leave inverted. A negative extent covers
    the pixels from the origin back, the origin included (the platform's rule);
    pixels covered twice come back."""
    mask = np.zeros(shape[:2], dtype=np.uint8)

    def stroke(x, y, w, h):
        x0, x1 = (x, x + w) if w > 0 else (x + w + 1, x + 1)
        y0, y1 = (y, y + h) if h > 0 else (y + h + 1, y + 1)
        mask[y0:y1, x0:x1] ^= 1

    stroke(left, top, right - left, 1)
    stroke(left, bottom, 1, top - bottom)
    stroke(right - 1, top, 1, bottom - top)
    stroke(right, bottom - 1, left - right, 1)
    return mask.astype(bool)


# --- The tests -------------------------------------------------------------------

def test_band_label_and_capture(desk, folder):
    cd = CaptureDesk(desk, folder)
    p = cd.start()
    # A second request during the delay starts no second timer; clicks and keys
    # elsewhere and a right click on the icon change nothing.
    t0 = cd.click_icon()
    desk.click(300, 300)
    desk.key("a", "Escape")
    desk.click(*desk.icon_position, 3)
    desk.move(300, 300)
    time.sleep(max(0, 2.0 - (time.time() - t0)))
    cd.click_icon()  # a new timer now would start capture mode only at 5 s
    time.sleep(max(0, 2.6 - (time.time() - t0)))
    assert not cd.capture_window_shown(), "capture mode before the delay"
    assert not menu_at(desk.screenshot(), *desk.icon_position), "a menu during the delay"
    cd.wait_capture_mode()
    started = time.time() - t0
    assert started < 4.5, f"capture mode began {started:.1f} s after the first request"

    # Capture mode looks like the screen; keys and the right button do nothing.
    desk.key("Escape", "a")
    desk.click(200, 200, 3)
    time.sleep(0.3)
    assert cd.capture_window_shown(), "capture mode ended without the clicks"
    assert_screen_unchanged(cd.shot(), cd.baseline, "the screen in capture mode")

    # The first click draws nothing.
    desk.click(100, 100)
    time.sleep(0.3)
    assert_screen_unchanged(cd.shot(), cd.baseline, "the screen after the first click")

    desk.move(50, 300)
    time.sleep(0.3)
    banded = cd.shot()
    changed = np.any(banded != cd.baseline, axis=-1)
    changed[:TRAY_HEIGHT, -TRAY_WIDTH:] = False  # the tray host's icon, not ours
    inverted = np.all(banded == 255 - cd.baseline, axis=-1)
    assert np.all(inverted[changed]), "every changed pixel is inverted"
    frame = frame_mask(changed.shape, 50, 100, 100, 300)
    # What the frame does not explain is the label: its glyphs, centred on the
    # rectangle (a label wider than the band reaches beyond it).
    label = changed ^ frame
    ys, xs = np.nonzero(label)
    assert len(xs) > 30, "a label is drawn"
    assert abs((xs.min() + xs.max()) / 2 - 75) <= 3 and abs((ys.min() + ys.max()) / 2 - 200) <= 4, \
        f"label centred: x {xs.min()}..{xs.max()}, y {ys.min()}..{ys.max()}"
    assert 25 <= xs.max() - xs.min() + 1 <= 70 and 5 <= ys.max() - ys.min() + 1 <= 16, "six characters (50x200)"
    outside_label = np.ones_like(frame)
    outside_label[ys.min():ys.max() + 1, xs.min():xs.max() + 1] = False
    assert np.array_equal(changed & frame & outside_label, frame & outside_label), "the whole frame is inverted"
    # Keys while dragging change nothing either.
    desk.key("Escape")
    time.sleep(0.2)
    assert_equal_pixels(cd.shot(), banded, "the band after Escape")

    run("xdotool", "click", "1")
    dialog = cd.dialog()
    geometry = run("xdotool", "getwindowgeometry", "--shell", dialog).stdout
    g = dict(line.split("=") for line in geometry.split())
    x0, y0, w, h = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    after = cd.shot()
    after[y0:y0 + h, x0:x0 + w] = cd.baseline[y0:y0 + h, x0:x0 + w]
    assert_screen_unchanged(after, cd.baseline, "the screen after the second click (outside the dialog)")

    target = os.path.join(folder, "band.png")
    cd.save_as(target)
    cd.wait_file(target)
    assert_equal_pixels(decode(target), cd.region(50, 100, 100, 300), "the saved capture")
    assert p.poll() is None, "the tray process stays"
    # The place is remembered, and the next dialog proposes the same name there.
    assert cd.setting("lastdir") == dos(folder), cd.setting("lastdir")
    assert cd.setting("sfile") == "band.png", cd.setting("sfile")
    os.remove(target)
    cd.capture((600, 400), (640, 430))
    desk.key("Return")
    wait_for(cd.dialog_gone, what="the dialog to close")
    cd.wait_file(target)
    assert_equal_pixels(decode(target), cd.region(600, 400, 640, 430), "the capture under the proposed name")


def test_bmp_depths(desk, folder):
    cd = CaptureDesk(desk, folder)
    cd.start()
    box = (140, 200, 210, 260)  # pure colours only
    # "16 Colors" with a GIF: reduced to 16 colours, then written by our 8-bit writer.
    cases = [("d1.bmp", 3, 1), ("d4.bmp", 2, 4), ("d8.bmp", 1, 8), ("d24.bmp", 0, 24), ("d4.gif", 2, None)]
    for name, steps_up, bits in cases:
        target = os.path.join(folder, name)
        cd.capture(box[:2], box[2:])
        cd.save_as(target, steps_up)
        cd.wait_file(target)
        if bits:
            assert bmp_bits(target) == bits, f"{name}: {bmp_bits(target)} bits"
        pixels = decode(target)
        expected = cd.region(*box)
        if bits == 1:
            # Two colours: black and white stay as they were.
            bw = np.all(expected == 0, axis=-1) | np.all(expected == 255, axis=-1)
            assert np.all(pixels[bw] == expected[bw]), f"{name}: black and white kept"
            assert len(np.unique(pixels.reshape(-1, 3), axis=0)) <= 2
        else:
            assert_equal_pixels(pixels, expected, name)
    # A full-colour area: 24 bits is exact.
    gradient = (700, 300, 780, 360)
    target = os.path.join(folder, "g24.bmp")
    cd.capture(gradient[:2], gradient[2:])
    cd.save_as(target)
    cd.wait_file(target)
    assert_equal_pixels(decode(target), cd.region(*gradient), "24-bit BMP of the gradient")
    # "256 Colors" with a JPEG target saves from 24 bits: a smooth gradient stays
    # close, which the platform's 256-colour reduction would not.
    target = os.path.join(folder, "g8.jpg")
    cd.capture(gradient[:2], gradient[2:])
    cd.save_as(target, 1)
    cd.wait_file(target)
    error = np.abs(decode(target).astype(int) - cd.region(*gradient).astype(int)).mean()
    assert error < 3, f"JPEG from 256 colours: mean error {error:.1f}"


def test_every_save_type(desk, folder):
    cd = CaptureDesk(desk, folder)
    cd.start()
    for ext in ("png", "jpg", "tif", "tga", "psd", "ppm", "sgi", "pcx", "gif"):
        target = os.path.join(folder, "t." + ext)
        # JPEG is compared within a tolerance, on smooth colours it keeps well.
        box = (620, 500, 683, 541) if ext == "jpg" else (20, 30, 83, 71)
        cd.capture(box[:2], box[2:])
        cd.save_as(target)
        cd.wait_file(target)
        pixels = decode(target)
        expected = cd.region(*box)
        if ext == "jpg":
            assert pixels.shape == expected.shape
            error = np.abs(pixels.astype(int) - expected.astype(int)).mean()
            assert error < 3, f"JPEG mean error {error:.1f}"
        else:
            assert_equal_pixels(pixels, expected, "t." + ext)
    # A name typed without any "." is saved as PNG.
    box = (20, 30, 83, 71)
    cd.capture(box[:2], box[2:])
    cd.save_as(os.path.join(folder, "shot"))
    cd.wait_file(os.path.join(folder, "shot.png"))
    assert_equal_pixels(decode(os.path.join(folder, "shot.png")), cd.region(*box), "shot.png")
    assert cd.setting("sfile") == "shot.png"
    with open(os.path.join(folder, "t.gif"), "rb") as f:
        assert f.read(6) in (b"GIF87a", b"GIF89a")
    assert cd.desk.exchange_files(), "the exchange file is still reserved"
    exchange = os.path.join(cd.desk.temp_folder(), cd.desk.exchange_files()[0])
    assert os.path.getsize(exchange) == 0, "the exchange file is empty between uses"


def psnr(actual, expected):
    assert actual.shape == expected.shape, f"size {actual.shape} != {expected.shape}"
    mse = np.mean((actual.astype(float) - expected.astype(float)) ** 2)
    return 99.0 if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)


def test_output_quality(desk, folder):
    """Sharp pure colours saved as JPEG at the default quality keep their chroma;
    a smooth area saved as GIF gets a palette of its own (the platform's fixed
    table gives about 24 dB)."""
    cd = CaptureDesk(desk, folder)
    cd.start()
    blocks = (20, 30, 180, 130)
    target = os.path.join(folder, "blocks.jpg")
    cd.capture(blocks[:2], blocks[2:])
    cd.save_as(target)
    cd.wait_file(target)
    sampling = run("identify", "-format", "%[jpeg:sampling-factor]", target).stdout.strip()
    assert sampling == "1x1,1x1,1x1", f"JPEG sampling {sampling}"
    quality = psnr(decode(target), cd.region(*blocks))
    assert quality >= 45, f"JPEG of pure colours: {quality:.1f} dB"
    gradient = (600, 300, 760, 420)
    target = os.path.join(folder, "smooth.gif")
    cd.capture(gradient[:2], gradient[2:])
    cd.save_as(target)
    cd.wait_file(target)
    quality = psnr(decode(target), cd.region(*gradient))
    assert quality >= 35, f"GIF of a smooth area: {quality:.1f} dB"


def test_clipboard(desk, folder):
    cd = CaptureDesk(desk, folder)
    cd.start()
    before = (cd.setting("lastdir"), cd.setting("sfile"))
    box = (530, 120, 611, 177)
    cd.capture(box[:2], box[2:])
    # "Save to\nClipboard" comes just before the depth group in tab order.
    desk.key("shift+Tab", "shift+Tab", "space")
    wait_for(cd.dialog_gone, what="the dialog to close")
    dumped = os.path.join(folder, "clip.bmp")
    helper = os.path.join(desk.build_dir, "tests", "e2e", "ClipboardDump.exe.so")
    out = run("wine", helper, dumped, env=desk.env).stdout
    assert "dib=1 bitmap=1 palette=1" in out, out
    assert_equal_pixels(decode(dumped), cd.region(*box), "the clipboard's DIB")
    assert sorted(os.listdir(folder)) == ["clip.bmp", "pattern.bmp"], "no file written"
    assert (cd.setting("lastdir"), cd.setting("sfile")) == before, "settings untouched"


def test_full_screen(desk, folder):
    cd = CaptureDesk(desk, folder)
    cd.start()
    x, y = desk.icon_position
    desk.click(x, y, 3)
    wait_for(lambda: menu_at(desk.screenshot(), x, y), what="the tray menu")
    desk.menu_key("Down", "Down", "Return")  # "Capture Full Screen"
    target = os.path.join(folder, "full.png")
    cd.save_as(target)
    cd.wait_file(target)
    pixels = decode(target)
    assert pixels.shape == (desk.height, desk.width, 3), pixels.shape
    # The grab follows the menu at once: where the menu and the tray host were, the
    # windows below may not have repainted yet. Everything else is exact.
    under_menu = np.zeros(pixels.shape[:2], dtype=bool)
    under_menu[:y + 260, x - 260:] = True
    pixels[under_menu] = cd.baseline[under_menu]
    assert_equal_pixels(pixels, cd.baseline, "the full screen")


def test_empty_and_failing_targets(desk, folder):
    cd = CaptureDesk(desk, folder)
    p = cd.start()
    # Two clicks on one spot: the dialog still opens, confirming it writes nothing
    # but remembers the place.
    cd.click_icon()
    cd.wait_capture_mode()
    desk.click(400, 400)
    time.sleep(1)  # not a double click, which capture mode does not take for a click
    desk.click(400, 400)
    target = os.path.join(folder, "empty.png")
    cd.save_as(target)
    time.sleep(1.5)
    assert not os.path.exists(target), "an empty capture writes no file"
    assert cd.setting("sfile") == "empty.png"
    # A last move back onto the anchor's row leaves no band on the screen, and the
    # second click captures nothing rather than the old band inverted again.
    cd.click_icon()
    cd.wait_capture_mode()
    desk.click(400, 400)
    desk.move(460, 450)
    desk.move(480, 400)
    time.sleep(0.3)
    assert_screen_unchanged(cd.shot(), cd.baseline, "the screen after a move onto the anchor's row")
    run("xdotool", "click", "1")
    cd.dialog()
    target = os.path.join(folder, "row.png")
    cd.save_as(target)
    time.sleep(1.5)
    assert not os.path.exists(target), "a band of no height writes no file"
    # A target that cannot be created: the user is told, the tray process stays.
    for name in ("nowhere.png", "nowhere.bmp", "nowhere.gif"):
        cd.capture((10, 10), (40, 40))
        cd.save_as("/proc/" + name)
        error_box = desk.focus_window("File Error!")
        assert error_box
        desk.key("Return")
        wait_for(lambda: not run("xdotool", "search", "--onlyvisible", "--name", "^File Error!$",
                                 check=False).stdout.split(), what="the error box to close")
        assert p.poll() is None, f"{name}: the tray process survives"
    # Capture still works afterwards.
    target = os.path.join(folder, "after.png")
    cd.capture((10, 10), (40, 40))
    cd.save_as(target)
    cd.wait_file(target)
    assert_equal_pixels(decode(target), cd.region(10, 10, 40, 40), "a capture after the failures")


def test_quick_menu_runs(desk, folder):
    cd = CaptureDesk(desk, folder)
    # Cancelled: the process ends.
    desk.move(500, 400)
    p = cd.start("-q")
    wait_for(lambda: menu_at(desk.screenshot(), 500, 400), timeout=20, what="the quick menu")
    desk.menu_key("Down", "Return")  # "Capture"
    cd.wait_capture_mode()
    cd.drag((100, 100), (150, 150))
    cd.dialog()
    desk.key("Escape")
    wait_for(lambda: p.poll() is not None, what="the quick-menu run to end after a cancel")
    # Saved: the process ends after writing.
    desk.move(500, 400)
    p = cd.process = cd.launch("-q")
    wait_for(lambda: menu_at(desk.screenshot(), 500, 400), timeout=20, what="the quick menu")
    desk.menu_key("Down", "Return")
    cd.wait_capture_mode()
    cd.drag((100, 100), (150, 150))
    target = os.path.join(folder, "quick.png")
    cd.save_as(target)
    wait_for(lambda: p.poll() is not None, what="the quick-menu run to end after the save")
    assert_equal_pixels(decode(target), cd.region(100, 100, 150, 150), "the quick-menu capture")


TESTS = [test_band_label_and_capture, test_bmp_depths, test_every_save_type, test_output_quality, test_clipboard,
         test_full_screen, test_empty_and_failing_targets, test_quick_menu_runs]


if __name__ == "__main__":
    main(TESTS)
