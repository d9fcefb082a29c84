"""Converting files with the real program and real input: "Convert Image File" and
"Batch Convert" from quick-menu runs, through the open dialogs and the save dialog,
checking the proposals, the written files and the settings."""
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(__file__))
from kestrel_e2e import main, menu_at, run, wait_for  # noqa: E402

BAD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "bad")
CRASHER = "cut_in_colour_table.xpm"  # the image library crashes on it
HANGER = "cut_before_gamma_data.png"  # the image library spins on it for ever

SETTINGS = r"HKCU\Software\Fernwoodlabs\Kestrel\settings"
MENU_POINT = (500, 400)
CONVERT_FILE = ["Down"] * 4 + ["Return"]
OPTIONS = ["Down"] * 6 + ["Return"]
BATCH_CONVERT = ["Down"] * 5 + ["Return"]


def dos(path):
    return "Z:" + path.replace("/", "\\")


def make(path, *magick_args):
    run("/usr/bin/convert", "-size", "48x32", *(magick_args or ("gradient:red-blue",)), path)
    return path


def decode(path):
    out = subprocess.run(["/usr/bin/convert", path + "[0]", "-depth", "8", "ppm:-"], check=True,
                         stdout=subprocess.PIPE).stdout
    return np.asarray(Image.open(io.BytesIO(out)).convert("RGB")).astype(int)


def identify(path):
    return run("/usr/bin/identify", "-format", "%m %wx%h", path + "[0]", check=False).stdout.strip()


def window_shown(title):
    return run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title, check=False).stdout.split()


class Case:
    """A folder of sources and one of targets, and the settings a user left behind."""

    def __init__(self, desk):
        self.desk = desk
        self.root = tempfile.mkdtemp(prefix="kestrel-convert-")
        self.sources = os.path.join(self.root, "in")
        self.targets = os.path.join(self.root, "out")
        os.makedirs(self.sources)
        os.makedirs(self.targets)
        # Wine's services start with the first process; settle them before Kestrel.
        run("wine", "cmd", "/c", "exit", check=False, env=desk.env)
        desk.reg_delete(SETTINGS)
        desk.prepare_profile(fresh=False)
        self.set("sfile", "Image1.png")
        self.set("ofile", "Image1.png")
        self.set("lastodir", dos(self.sources))
        self.set("lastdir", dos(self.root))

    def set(self, name, value):
        run("wine", "reg", "add", SETTINGS, "/v", name, "/t", "REG_SZ", "/d", value, "/f", env=self.desk.env)

    def setting(self, name):
        value = self.desk.reg_query(SETTINGS, name)
        return value[1] if value else None

    def quick_menu(self, keys):
        self.desk.move(*MENU_POINT)
        process = self.desk.start("-q")
        wait_for(lambda: process.poll() is not None or menu_at(self.desk.screenshot(), *MENU_POINT), timeout=60,
                 what="the quick menu")
        assert process.poll() is None, "the quick-menu run ended with %r before its menu" % process.poll()
        self.desk.menu_key(*keys)
        return process

    def answer(self, title, *keys, text=None):
        wait_for(lambda: window_shown(title), timeout=30, what=title)
        self.desk.focus_window(title)
        if text is not None:
            self.desk.key("Home", "shift+End")
            run("xdotool", "type", "--delay", "20", text)
        if keys:
            self.desk.key(*keys)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def test_single_conversion_proposes_and_remembers(desk):
    case = Case(desk)
    try:
        source = make(os.path.join(case.sources, "holiday.jpg"))
        case.set("lastdir", dos(case.targets))
        p = case.quick_menu(CONVERT_FILE)
        case.answer("Convert Image File", "Return", text=dos(source))
        # The proposal, holiday.png in the last save folder, taken as it stands.
        case.answer("Convert File to:", "Return")
        wait_for(lambda: p.poll() is not None, timeout=30, what="the quick-menu run to end")
        target = os.path.join(case.targets, "holiday.png")
        assert identify(target) == "PNG 48x32", identify(target)
        assert np.abs(decode(target) - decode(source)).max() <= 1
        assert case.setting("sfile") == "holiday.png"
        assert case.setting("lastdir") == dos(case.targets)
        assert case.setting("lastodir") == dos(case.sources)
        assert case.setting("ofile") == "Image1.png"
    finally:
        case.close()


def test_batch_goes_on_past_an_unreadable_file(desk):
    case = Case(desk)
    try:
        names = []
        for i in range(10):
            path = os.path.join(case.sources, "f%d.png" % i)
            if i == 5:
                with open(path, "wb") as f:
                    f.write(b"\x5a" * 400)
            else:
                make(path)
            names.append('"f%d.png"' % i)
        p = case.quick_menu(BATCH_CONVERT)
        case.answer("Convert Image Files", "Return", text=" ".join(names))
        case.answer("Convert Files to:", "Return", text=dos(os.path.join(case.targets, "x.jpg")))
        case.answer("File Error!", "Return")
        wait_for(lambda: p.poll() is not None, timeout=60, what="the batch to end after one error box")
        written = sorted(os.listdir(case.targets))
        assert written == ["f%d.jpg" % i for i in range(10) if i != 5], written
        assert all(identify(os.path.join(case.targets, n)) == "JPEG 48x32" for n in written)
        assert case.setting("lastdir") == dos(case.targets)
        assert case.setting("sfile") == "Image1.png"
    finally:
        case.close()


def test_batch_name_without_dot_makes_pngs(desk):
    case = Case(desk)
    try:
        make(os.path.join(case.sources, "a.gif"))
        make(os.path.join(case.sources, "b.bmp"), "gradient:red-blue", "-type", "palette")
        p = case.quick_menu(BATCH_CONVERT)
        case.answer("Convert Image Files", "Return", text='"a.gif" "b.bmp"')
        case.answer("Convert Files to:", "Return", text=dos(os.path.join(case.targets, "result")))
        wait_for(lambda: p.poll() is not None, timeout=60, what="the batch to end")
        for name in ("a", "b"):
            target = os.path.join(case.targets, name + ".png")
            assert identify(target) == "PNG 48x32", (name, identify(target))
        source = decode(os.path.join(case.sources, "b.bmp"))
        assert np.array_equal(decode(os.path.join(case.targets, "b.png")), source)
    finally:
        case.close()


def test_quick_menu_runs_end_after_a_cancel(desk):
    case = Case(desk)
    try:
        p = case.quick_menu(CONVERT_FILE)
        case.answer("Convert Image File", "Escape")
        wait_for(lambda: p.poll() is not None, timeout=30, what="the run to end after a cancelled open")
        make(os.path.join(case.sources, "a.png"))
        p = case.quick_menu(BATCH_CONVERT)
        case.answer("Convert Image Files", "Return", text='"a.png"')
        case.answer("Convert Files to:", "Escape")
        wait_for(lambda: p.poll() is not None, timeout=30, what="the run to end after a cancelled save")
        assert os.listdir(case.targets) == []
    finally:
        case.close()


def test_options_from_the_quick_menu(desk):
    case = Case(desk)
    try:
        p = case.quick_menu(OPTIONS)
        # From OK along the tab order: Cancel, "Run at Windows startup", "Show image
        # view window maximized", "Write png files interlaced", the quality box.
        case.answer("Kestrel Options", "Tab", "Tab", "Tab", "space", "Tab", "Tab", "Home", "shift+End")
        run("xdotool", "type", "--delay", "20", "42")
        time.sleep(0.5)
        desk.key("Return")
        wait_for(lambda: p.poll() is not None, timeout=30, what="the run to end after the options")
        assert desk.reg_query(SETTINGS, "jpgq") == ("REG_DWORD", "0x2a"), desk.reg_query(SETTINGS, "jpgq")
        assert desk.reg_query(SETTINGS, "max") == ("REG_DWORD", "0x1"), desk.reg_query(SETTINGS, "max")
        assert desk.reg_query(SETTINGS, "pngi") is None
        assert desk.reg_query(SETTINGS, "startup") is None
    finally:
        case.close()


def running_workers(desk):
    pattern = r"[/\\]".join(desk.build_dir.strip("/").split("/")) + r"[/\\]kestrel_worker\.exe"
    return run("pgrep", "-f", pattern, check=False).stdout.split()


def answer_error_box(case):
    wait_for(lambda: window_shown("File Error!"), timeout=60, what="a File Error! box")
    case.answer("File Error!", "Return")
    wait_for(lambda: not window_shown("File Error!"), timeout=10, what="the box to close")


def test_resident_tray_survives_the_library_crashing_and_hanging(desk):
    """A batch of five with the library's crasher and hanger in the middle, then the
    crasher on its own: each reported in a box, the rest converted, and the tray
    still answers its icon, inside the batch only by raising its window. The hanger
    is given up after 30 s."""
    case = Case(desk)
    try:
        make(os.path.join(case.sources, "a.jpg"))
        make(os.path.join(case.sources, "c.tif"))
        make(os.path.join(case.sources, "e.png"))
        for name in (CRASHER, HANGER):
            shutil.copy(os.path.join(BAD, name), case.sources)
        desk.start_tray_host()
        tray = desk.start()
        wait_for(desk.tray_icon_shown, timeout=20, what="the tray icon")
        desk.open_tray_menu()
        desk.menu_key(*BATCH_CONVERT)
        case.answer("Convert Image Files", "Return", text='"a.jpg" "%s" "c.tif" "%s" "e.png"' % (CRASHER, HANGER))
        case.answer("Convert Files to:", "Return", text=dos(os.path.join(case.targets, "x.pcx")))
        answer_error_box(case)  # the crash
        # While the hanger is waited for, a click on the icon only brings the batch's
        # window forward: no menu inside the batch, then or over the hanger's box.
        wait_for(lambda: window_shown("Batch Convert"), timeout=20, what="the batch's window")
        x, y = desk.icon_position
        menu_before = menu_at(desk.screenshot(), x, y)
        desk.click(x, y, 3)
        desk.move(x - 300, y + 300)
        wait_for(lambda: window_shown("File Error!"), timeout=60, what="the hanger's box")
        time.sleep(1)
        assert menu_before or not menu_at(desk.screenshot(), x, y), "the tray menu opened inside the batch"
        answer_error_box(case)  # the hang, 30 s after it began
        wait_for(lambda: sorted(os.listdir(case.targets)) == ["a.pcx", "c.pcx", "e.pcx"], timeout=30,
                 what="the three sound files converted")
        assert all(identify(os.path.join(case.targets, n)) == "PCX 48x32" for n in os.listdir(case.targets))

        desk.open_tray_menu()
        desk.menu_key(*CONVERT_FILE)
        case.answer("Convert Image File", "Return", text=dos(os.path.join(case.sources, CRASHER)))
        case.answer("Convert File to:", "Return", text=dos(os.path.join(case.targets, "crash.png")))
        answer_error_box(case)
        assert sorted(os.listdir(case.targets)) == ["a.pcx", "c.pcx", "e.pcx"]
        assert tray.poll() is None, "the tray ended"
        assert not running_workers(desk)

        desk.open_tray_menu()
        desk.menu_key("Up", "Return")  # Exit
        wait_for(lambda: tray.poll() is not None, what="the tray to end")
        assert desk.new_exchange_files() == []
    finally:
        case.close()


TESTS = [test_single_conversion_proposes_and_remembers, test_batch_goes_on_past_an_unreadable_file,
         test_batch_name_without_dot_makes_pngs, test_quick_menu_runs_end_after_a_cancel,
         test_options_from_the_quick_menu, test_resident_tray_survives_the_library_crashing_and_hanging]


if __name__ == "__main__":
    main(TESTS)
