"""The tray icon, its menu, quick-menu runs and the hand-over to a resident copy."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from kestrel_e2e import main, menu_at, wait_for  # noqa: E402


def tip_below(image, x, y):
    """A light box of two text lines hangs below the icon, to its left."""
    region = image.convert("RGB").crop((x - 150, y + 16, x - 20, y + 44))
    light = sum(1 for p in region.getdata() if min(p) > 180)
    dark = sum(1 for p in region.getdata() if max(p) < 90)
    return light > region.size[0] * region.size[1] * 0.5 and dark > 50


def start_resident(desk):
    desk.start_tray_host()
    p = desk.start()
    wait_for(desk.tray_icon_shown, timeout=20, what="the tray icon")
    return p


def exit_through_menu(desk, p):
    desk.open_tray_menu()
    desk.menu_key("Up", "Return")  # the last item
    wait_for(lambda: p.poll() is not None, what="the process to end")


def test_icon_menu_and_exit(desk):
    p = start_resident(desk)
    assert desk.new_exchange_files(), "a running copy holds its exchange file"
    # Resting the pointer on the icon shows its two-line tip below it.
    x, y = desk.icon_position
    desk.move(x, y)
    wait_for(lambda: tip_below(desk.screenshot(), x, y), what="the icon's tip")
    desk.move(x - 300, y + 300)
    # The menu opens with its right edge at the cursor, downwards.
    desk.open_tray_menu()
    desk.menu_key("Escape")
    x, y = desk.icon_position
    wait_for(lambda: not menu_at(desk.screenshot(), x, y), what="Escape to close the menu")
    assert p.poll() is None, "Escape only closes the menu"
    exit_through_menu(desk, p)
    assert p.returncode == 0
    wait_for(lambda: not desk.tray_icon_shown(), what="the icon to go")
    assert desk.new_exchange_files() == []


def test_quick_menu_shows_once_without_icon(desk):
    desk.start_tray_host()
    desk.move(500, 400)
    p = desk.start("-q")
    wait_for(lambda: menu_at(desk.screenshot(), 500, 400), timeout=20, what="the quick menu")
    assert not desk.tray_icon_shown()
    desk.menu_key("Escape")
    wait_for(lambda: p.poll() is not None, what="the quick-menu run to end")
    assert desk.new_exchange_files() == []


def test_quick_menu_command_runs_then_ends(desk):
    desk.start_tray_host()
    desk.move(500, 400)
    p = desk.start("-q")
    wait_for(lambda: menu_at(desk.screenshot(), 500, 400), timeout=20, what="the quick menu")
    desk.menu_key("Down", "Down", "Down", "Return")  # View Image File
    wait_for(lambda: p.poll() is not None, what="the quick-menu run to end")
    # The new process shows the open dialog; the quick-menu run is gone.
    desk.focus_window("View Image File")
    desk.key("Escape")
    wait_for(lambda: not desk.running_processes(), timeout=20, what="the viewer process to end")
    assert desk.new_exchange_files() == []


def test_second_start_hands_over_to_resident(desk):
    p = start_resident(desk)
    desk.move(600, 500)
    second = desk.start()
    wait_for(lambda: second.poll() is not None, timeout=20, what="the second copy to end")
    wait_for(lambda: menu_at(desk.screenshot(), 600, 500), what="the resident copy's menu")
    assert p.poll() is None
    desk.menu_key("Escape")
    # A quick-menu start hands over the same way.
    desk.move(400, 300)
    quick = desk.start("-q")
    wait_for(lambda: quick.poll() is not None, timeout=20, what="the -q copy to end")
    wait_for(lambda: menu_at(desk.screenshot(), 400, 300), what="the resident copy's menu")
    desk.menu_key("Escape")
    exit_through_menu(desk, p)
    assert desk.new_exchange_files() == []


if __name__ == "__main__":
    main([test_icon_menu_and_exit, test_quick_menu_shows_once_without_icon, test_quick_menu_command_runs_then_ends,
          test_second_start_hands_over_to_resident])
