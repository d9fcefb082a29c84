"""Drives the real Kestrel under Wine on the test display, as a person would.

The test runner (./check) provides DISPLAY and WINEPREFIX; scripts get the build
folder as their first argument. Input goes through xdotool, the tray is hosted by
trayer, screenshots come from ImageMagick's import.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

TRAY_WIDTH = 100
TRAY_HEIGHT = 24
PROFILE = r"HKCU\Software\Fernwoodlabs\Kestrel"
SETTINGS = PROFILE + r"\settings"


def fresh_profile(fn):
    """Marks a case that starts from a profile Kestrel has never seen; every other
    case starts as if the welcome dialog had been shown once already."""
    fn.fresh_profile = True
    return fn


def run(*cmd, check=True, **kw):
    return subprocess.run(cmd, check=check, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


def wait_for(predicate, timeout=10.0, step=0.1, what="condition"):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise AssertionError(f"timed out waiting for {what}")


def screen_size():
    out = run("xdpyinfo").stdout
    for line in out.splitlines():
        if "dimensions:" in line:
            w, h = line.split()[1].split("x")
            return int(w), int(h)
    raise AssertionError("no screen size")


class Desktop:
    """The display with a tray host, and the Kestrel processes started on it."""

    def __init__(self, build_dir):
        self.build_dir = os.path.abspath(build_dir)
        self.program = os.path.join(self.build_dir, "kestrel.exe.so")
        self.env = dict(os.environ, WINEDEBUG="-all")
        self.processes = []
        self.trayer = None
        self.scratch = None
        self.width, self.height = screen_size()
        # Runs killed earlier (by a timeout, say) may have left theirs behind.
        self.exchange_before = set(self.exchange_files())
        self.help_viewers_before = set(pid for pid, _ in self.help_viewers())

    # The tray host -------------------------------------------------------
    def start_tray_host(self):
        """Starts trayer at the top right. Right after the previous one was stopped it
        now and then fails to come up; then it is started again."""
        log = os.path.join(self.build_dir, "e2e-trayer.log")
        for attempt in range(3):
            with open(log, "a") as out:
                self.trayer = subprocess.Popen(
                    ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                     str(TRAY_WIDTH), "--height", str(TRAY_HEIGHT), "--transparent", "false"],
                    stdout=out, stderr=out)
            try:
                wait_for(lambda: run("xdotool", "search", "--class", "trayer", check=False).stdout.strip(),
                         timeout=8, what="the tray host")
                time.sleep(0.5)
                return
            except AssertionError:
                self.trayer.kill()
                self.trayer.wait()
                time.sleep(1)
        raise AssertionError("the tray host did not start (see %s)" % log)

    @property
    def icon_position(self):
        """Where trayer shows the first icon: the right end of its panel."""
        return self.width - 11, TRAY_HEIGHT // 2

    def open_tray_menu(self):
        """Right-clicks the icon and moves the pointer off it, as a person would; a
        pointer left on the icon brings up its tooltip, which takes the keyboard
        from the menu."""
        x, y = self.icon_position
        self.click(x, y, 3)
        wait_for(lambda: menu_at(self.screenshot(), x, y), what="the tray menu")
        self.move(x - 300, y + 300)

    def tray_icon_shown(self):
        """True when the tray area shows Kestrel's teal icon."""
        x, y = self.icon_position
        region = self.screenshot().crop((x - 8, y - 8, x + 8, y + 8)).convert("RGB")
        teal = sum(1 for p in region.getdata() if abs(p[0] - 18) < 40 and abs(p[1] - 92) < 40 and
                   abs(p[2] - 110) < 40)
        return teal > 40

    # Kestrel -------------------------------------------------------------
    def start(self, *args):
        p = subprocess.Popen(["wine", self.program, *args], env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.processes.append(p)
        return p

    def temp_folder(self):
        users = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")
        return os.path.join(users, os.environ.get("USER") or run("whoami").stdout.strip(), "Temp")

    def exchange_files(self):
        folder = self.temp_folder()
        if not os.path.isdir(folder):
            return []
        return sorted(f for f in os.listdir(folder) if f.startswith("kstmp") and f.endswith(".bmp"))

    def new_exchange_files(self):
        """Exchange files that appeared since this desktop was set up."""
        return sorted(set(self.exchange_files()) - self.exchange_before)

    def reg_query(self, key, value=None):
        """A registry value as (type, data), or None when missing."""
        args = ["wine", "reg", "query", key] + (["/v", value] if value else [])
        out = run(*args, check=False, env=self.env).stdout
        for line in out.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == value and parts[1].startswith("REG_"):
                return parts[1], parts[2] if len(parts) > 2 else ""
        return None

    def reg_delete(self, key):
        run("wine", "reg", "delete", key, "/f", check=False, env=self.env)

    def prepare_profile(self, fresh):
        """A fresh profile, or one where the welcome dialog has been seen ("first" 1)."""
        if fresh:
            self.reg_delete(PROFILE)
        else:
            run("wine", "reg", "add", SETTINGS, "/v", "first", "/t", "REG_DWORD", "/d", "1", "/f",
                env=self.env)

    # The help viewer ---------------------------------------------------------
    def help_viewers(self):
        """(pid, file) of every running help viewer (xchm) and the file it shows."""
        found = []
        for pid in run("pgrep", "-x", "xchm", check=False).stdout.split():
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    args = f.read().split(b"\0")
            except OSError:
                continue
            found.append((int(pid), args[1].decode() if len(args) > 1 else ""))
        return found

    def new_help_viewers(self):
        """Help viewers that Kestrel started in this case."""
        return [(pid, path) for pid, path in self.help_viewers() if pid not in self.help_viewers_before]

    # Input and output ----------------------------------------------------
    def click(self, x, y, button=1):
        run("xdotool", "mousemove", str(x), str(y), "click", str(button))

    def move(self, x, y):
        run("xdotool", "mousemove", str(x), str(y))

    def key(self, *keys):
        run("xdotool", "key", *keys)

    def focus_window(self, title):
        """Gives the keyboard to the visible window with this title (its X name).

        Without a window manager nothing moves the focus by itself, and typed keys
        would go nowhere. Wine takes the first key after a change of focus to sync
        its keyboard state, so a harmless Shift goes first."""
        ids = wait_for(lambda: run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title,
                                   check=False).stdout.split(), what="window " + title)
        run("xdotool", "windowfocus", "--sync", ids[-1], check=False)
        time.sleep(0.3)
        run("xdotool", "key", "shift")
        time.sleep(0.3)
        return ids[-1]

    def menu_key(self, *keys):
        """Keys for a menu tracked by Kestrel's full-screen window."""
        self.focus_window("Kestrel")
        self.key(*keys)

    def screenshot(self, path=None):
        target = path or "/tmp/kestrel-e2e-shot-%d.png" % os.getpid()
        run("import", "-window", "root", target)
        image = Image.open(target)
        image.load()
        return image

    def scratch_folder(self):
        """A folder of this case's own, removed when the case ends."""
        if not self.scratch:
            self.scratch = tempfile.mkdtemp(prefix="kestrel-e2e-")
        return self.scratch

    def close(self):
        """Ends what this case started, then this prefix's Wine: its tray bridge docks
        icons only to the first tray host it found, so every case gets a fresh one."""
        for p in self.processes:
            if p.poll() is None:
                p.kill()
                p.wait()
        for pid, _ in self.new_help_viewers():
            try:
                os.kill(pid, 9)
            except OSError:
                pass
        if self.trayer:
            self.trayer.kill()
            self.trayer.wait()
        run("pkill", "-f", self.process_pattern(), check=False)
        if self.scratch:
            shutil.rmtree(self.scratch, ignore_errors=True)
        run("wineserver", "-k", check=False, env=self.env)
        run("wineserver", "-w", check=False, env=self.env)

    def process_pattern(self):
        """Matches this build's Kestrel processes, started by us (Unix path) or by
        Kestrel itself (Windows path), and no one else's."""
        parts = os.path.abspath(self.build_dir).strip("/").split("/")
        return r"[/\\]".join(re.escape(p) for p in parts) + r"[/\\]kestrel\.exe"

    def running_processes(self):
        return run("pgrep", "-f", self.process_pattern(), check=False).stdout.split()


def menu_at(image, x, y):
    """True when a light pop-up menu opens leftwards and downwards from (x, y)."""
    region = image.convert("RGB").crop((max(0, x - 120), y + 4, x - 4, y + 60))
    light = sum(1 for p in region.getdata() if min(p) > 180)
    return light > region.size[0] * region.size[1] * 0.6


def restore_runner_wine(build_dir):
    """Puts back what the test runner keeps for quick test starts: a resident
    wineserver and the window that holds Wine's desktop open."""
    quiet = dict(start_new_session=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)
    subprocess.Popen(["wineserver", "-p"], **quiet)
    keeper = os.path.join(build_dir, "tests", "keep_desktop.exe.so")
    if not os.path.exists(keeper):
        return
    subprocess.Popen(["wine", keeper], **quiet)
    # Ends only once the desktop and Wine's services are up: a test started before
    # would start them itself and hand them CTest's output pipe.
    try:
        wait_for(lambda: "KestrelTestAnchor" in run("xwininfo", "-root", "-tree", check=False).stdout,
                 timeout=20, what="the desktop anchor")
    except AssertionError:
        pass
    subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)


def main(test_functions):
    """Runs each test (or those named after the build folder) on a fresh desktop;
    a test that takes two arguments also gets a scratch folder. Prints a closing
    count for CTest."""
    build_dir = sys.argv[1]
    only = sys.argv[2:]
    passed = failed = 0
    for fn in test_functions:
        if only and fn.__name__ not in only:
            continue
        desk = Desktop(build_dir)
        try:
            desk.prepare_profile(getattr(fn, "fresh_profile", False))
            if fn.__code__.co_argcount == 2:
                fn(desk, desk.scratch_folder())
            else:
                fn(desk)
            passed += 1
            print(f"PASS {fn.__name__}", flush=True)
        except Exception as e:  # report and go on with the next case
            failed += 1
            print(f"FAIL {fn.__name__}: {e!r}", flush=True)
            desk.screenshot(os.path.join(build_dir, f"e2e-{fn.__name__}-failure.png"))
        finally:
            desk.close()
            time.sleep(0.5)
    restore_runner_wine(build_dir)
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed or not passed else 0)
