"""The welcome dialog of the first start, the help file and the about box."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(__file__))
from kestrel_e2e import SETTINGS, fresh_profile, main, menu_at, run, wait_for  # noqa: E402

WELCOME = "Welcome to Kestrel"
HELP_TITLE = "xCHM v. 1.35: Kestrel Help"


def window_shown(title):
    return run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title, check=False).stdout.split()


def wait_welcome(desk, p):
    wait_for(lambda: window_shown(WELCOME), timeout=30, what="the welcome dialog")
    # Shown before anything else: the profile says it has been seen, nothing else exists.
    assert desk.reg_query(SETTINGS, "first") == ("REG_DWORD", "0x1")
    assert desk.new_exchange_files() == []
    assert not desk.tray_icon_shown()
    assert p.poll() is None


def welcome_button(desk, tabs):
    """Presses the welcome dialog's button that is this many tab stops after
    "Show the tray icon", the one that has the focus when it opens."""
    desk.focus_window(WELCOME)
    desk.key(*(["Tab"] * tabs), "space")


def exit_through_menu(desk, p):
    desk.open_tray_menu()
    desk.menu_key("Up", "Return")
    wait_for(lambda: p.poll() is not None, what="the process to end")


def help_opened(desk, path):
    """Waits for a help viewer on the Unix path of this help file; returns its pid."""
    found = wait_for(lambda: [pid for pid, shown in desk.new_help_viewers() if shown == path], timeout=20,
                     what="a help viewer for " + path)
    wait_for(lambda: window_shown(HELP_TITLE), timeout=20, what="the help window")
    return found[0]


def message_box(desk):
    """A visible window titled "Kestrel" smaller than the screen: a message box, not
    the full-screen tray window."""
    for window in window_shown("Kestrel"):
        if geometry(window)["WIDTH"] < desk.width:
            return window
    return None


def choose_help_item(desk, down):
    """Tray menu: Help, then its first item moved down this many times."""
    desk.menu_key("Up", "Up", "Right", *(["Down"] * down), "Return")


def quick_menu(desk):
    desk.move(500, 400)
    p = desk.start("-q")
    wait_for(lambda: menu_at(desk.screenshot(), 500, 400), timeout=20, what="the quick menu")
    return p


@fresh_profile
def test_first_start_welcomes_then_shows_the_icon(desk):
    desk.start_tray_host()
    p = desk.start()
    wait_welcome(desk, p)
    welcome_button(desk, 0)  # Show the tray icon
    wait_for(desk.tray_icon_shown, timeout=20, what="the tray icon")
    assert not window_shown(WELCOME)
    exit_through_menu(desk, p)
    # The second start goes straight to the tray.
    p = desk.start()
    wait_for(desk.tray_icon_shown, timeout=20, what="the tray icon")
    assert not window_shown(WELCOME)
    exit_through_menu(desk, p)


@fresh_profile
def test_first_start_with_a_file_welcomes_and_exit_ends(desk, scratch):
    picture = os.path.join(scratch, "a.bmp")
    run("convert", "-size", "8x8", "xc:red", picture)
    desk.start_tray_host()
    p = desk.start("Z:" + picture.replace("/", "\\"))
    wait_welcome(desk, p)
    welcome_button(desk, 1)  # Exit Kestrel
    wait_for(lambda: p.poll() is not None, what="Exit Kestrel to end the program")
    assert p.returncode == 0
    assert desk.new_exchange_files() == []
    # Declined once is seen once: the next start shows no welcome.
    p = desk.start()
    wait_for(desk.tray_icon_shown, timeout=20, what="the tray icon")
    assert not window_shown(WELCOME)
    exit_through_menu(desk, p)


@fresh_profile
def test_welcome_help_button_opens_help_and_stays(desk):
    desk.start_tray_host()
    p = desk.start()
    wait_welcome(desk, p)
    welcome_button(desk, 2)  # Show the help file
    help_opened(desk, os.path.join(desk.build_dir, "kestrel.chm"))
    assert window_shown(WELCOME) and p.poll() is None
    # The help viewer keeps the keyboard; the mouse reaches "Exit Kestrel" at the
    # bottom right, beside the help window.
    window = window_shown(WELCOME)[-1]
    g = geometry(window)
    desk.click(g["X"] + g["WIDTH"] * 83 // 100, g["Y"] + g["HEIGHT"] - 24)
    wait_for(lambda: p.poll() is not None, what="Exit Kestrel to end the program")
    assert desk.new_exchange_files() == []


def geometry(window):
    out = run("xdotool", "getwindowgeometry", "--shell", window).stdout.split()
    return {k: int(v) for k, v in (line.split("=") for line in out) if k != "SCREEN"}


def help_shows_a_page(desk):
    """The help window shows a rendered page: dark text and blue links, not a blank pane."""
    shot = desk.screenshot(os.path.join(desk.build_dir, "e2e-help-window.png")).convert("RGB")
    window = window_shown(HELP_TITLE)[-1]
    g = geometry(window)
    x, y, w, h = g["X"], g["Y"], g["WIDTH"], g["HEIGHT"]
    pane = shot.crop((x + w // 3, y + h // 4, x + w, y + h))
    pixels = list(pane.getdata())
    links = sum(1 for r, g, b in pixels if b > 180 and r < 80 and g < 80)
    text = sum(1 for r, g, b in pixels if max(r, g, b) < 60)
    return links > 50 and text > 200


def test_help_from_the_tray_and_a_quick_menu(desk):
    chm = os.path.join(desk.build_dir, "kestrel.chm")
    desk.start_tray_host()
    p = desk.start()
    wait_for(desk.tray_icon_shown, timeout=20, what="the tray icon")
    desk.open_tray_menu()
    choose_help_item(desk, 0)  # Help Contents
    first = help_opened(desk, chm)
    wait_for(lambda: help_shows_a_page(desk), timeout=20, what="the first topic in the help window")
    assert p.poll() is None, "the resident copy stays"
    exit_through_menu(desk, p)
    # A quick-menu run ends right after opening help.
    p = quick_menu(desk)
    choose_help_item(desk, 0)
    wait_for(lambda: p.poll() is not None, what="the quick-menu run to end")
    wait_for(lambda: [pid for pid, shown in desk.new_help_viewers() if shown == chm and pid != first],
             timeout=20, what="a second help viewer")


def test_renamed_program_looks_for_its_own_help(desk, scratch):
    program = os.path.join(scratch, "hawk.exe.so")
    shutil.copy(desk.program, program)
    desk.program = program
    # No hawk.chm beside it: the help command says so, and the run still ends.
    p = quick_menu(desk)
    choose_help_item(desk, 0)
    box = wait_for(lambda: message_box(desk), what="the failure message")
    run("xdotool", "windowfocus", "--sync", box, check=False)
    desk.key("shift")
    desk.key("Return")
    wait_for(lambda: p.poll() is not None, what="the quick-menu run to end")
    assert desk.new_help_viewers() == [], "kestrel.chm is not the renamed program's help"
    shutil.copy(os.path.join(desk.build_dir, "kestrel.chm"), os.path.join(scratch, "hawk.chm"))
    p = quick_menu(desk)
    choose_help_item(desk, 0)
    help_opened(desk, os.path.join(scratch, "hawk.chm"))
    wait_for(lambda: p.poll() is not None, what="the quick-menu run to end")


def test_about_box_closes(desk):
    desk.start_tray_host()
    p = desk.start()
    wait_for(desk.tray_icon_shown, timeout=20, what="the tray icon")
    desk.open_tray_menu()
    choose_help_item(desk, 1)  # About Kestrel
    desk.focus_window("About Kestrel")
    desk.key("Return")
    wait_for(lambda: not window_shown("About Kestrel"), what="the about box to close")
    assert p.poll() is None, "the resident copy stays"
    exit_through_menu(desk, p)
    # A quick-menu run ends when the about box closes, not before.
    p = quick_menu(desk)
    choose_help_item(desk, 1)
    desk.focus_window("About Kestrel")
    assert p.poll() is None, "the quick-menu run waits for the about box"
    desk.key("Return")
    wait_for(lambda: p.poll() is not None, what="the quick-menu run to end")
    assert desk.new_exchange_files() == [], desk.new_exchange_files()


if __name__ == "__main__":
    main([test_first_start_welcomes_then_shows_the_icon, test_first_start_with_a_file_welcomes_and_exit_ends,
          test_welcome_help_button_opens_help_and_stays, test_help_from_the_tray_and_a_quick_menu,
          test_renamed_program_looks_for_its_own_help, test_about_box_closes])
