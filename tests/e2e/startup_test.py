"""Viewer-mode starts: the remembered folder, the open dialog and paths too long to hold."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from kestrel_e2e import main, run, wait_for  # noqa: E402

SETTINGS = r"HKCU\Software\Fernwoodlabs\Kestrel\settings"


def window_shown(title):
    return run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title, check=False).stdout.split()


def test_named_file_remembers_its_folder(desk):
    folder = os.path.join(desk.temp_folder(), "start folder")
    os.makedirs(folder, exist_ok=True)
    run("convert", "-size", "8x8", "xc:red", os.path.join(folder, "Picture.PNG"))
    # A name typed in another letter case is looked up as stored.
    p = desk.start("C:\\users\\%s\\Temp\\start folder\\picture.png" % os.path.basename(
        os.path.dirname(desk.temp_folder())))
    # The viewer runs as the process's main window and shows the stored name.
    wait_for(lambda: window_shown("Picture.PNG - Kestrel Image Viewer"), timeout=30, what="the viewer")
    kind, value = desk.reg_query(SETTINGS, "lastodir")
    assert kind == "REG_SZ" and value.lower().endswith("\\temp\\start folder"), value
    desk.focus_window("Picture.PNG - Kestrel Image Viewer")
    desk.key("Escape")
    wait_for(lambda: p.poll() is not None, what="the viewer run to end")
    assert desk.new_exchange_files() == []


def test_open_dialog_cancelled_ends_quietly(desk):
    p = desk.start("-o")
    wait_for(lambda: window_shown("View Image File"), timeout=30, what="the open dialog")
    desk.focus_window("View Image File")
    desk.key("Escape")
    wait_for(lambda: p.poll() is not None, what="the process to end")
    assert desk.new_exchange_files() == []


def test_path_too_long_is_refused_not_cut(desk):
    long_path = "C:\\" + "\\".join(["folder%02d" % i for i in range(40)]) + "\\a.png"
    assert len(long_path) > 255
    p = desk.start(long_path)
    wait_for(lambda: window_shown("Kestrel"), timeout=30, what="the message box")
    desk.focus_window("Kestrel")
    desk.key("Return")
    wait_for(lambda: p.poll() is not None, what="the process to end")
    assert desk.new_exchange_files() == []


if __name__ == "__main__":
    main([test_named_file_remembers_its_folder, test_open_dialog_cancelled_ends_quietly,
          test_path_too_long_is_refused_not_cut])
