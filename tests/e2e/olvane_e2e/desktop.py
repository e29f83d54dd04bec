"""A desktop's pieces under Xvfb: a tray host (trayer) and the agent's windows."""
import os
import re
import subprocess

from .agent import wait_for
from .process import ChildProcess

AGENT_CLASS = "olvane-helper"


class Trayer(ChildProcess):
    """trayer, a freedesktop system tray host: tray icons dock into its panel."""

    def __init__(self, xvfb):
        self.xvfb = xvfb

    def start(self):
        self.process = subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
             "--width", "200", "--height", "30"],
            env=dict(os.environ, DISPLAY=self.xvfb.display, DBUS_SESSION_BUS_ADDRESS="disabled:"),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(self.panel, 10):
            raise RuntimeError("trayer shows no panel")
        return self

    def panel(self):
        out = self.xvfb.run(["xdotool", "search", "--class", "trayer"], check=False).stdout
        for window in out.split():
            if "panel" in self.xvfb.run(["xprop", "-id", window, "WM_CLASS"]).stdout:
                return window
        return None

    def docked_classes(self):
        """The WM_CLASS of every icon docked in the panel."""
        tree = self.xvfb.run(["xwininfo", "-tree", "-id", self.panel()]).stdout
        return re.findall(r'\("([^"]*)" "[^"]*"\)', tree)


def visible_windows(xvfb, name=None):
    """Ids of the agent's mapped top-level windows (not its tray icon), optionally only those
    with this title."""
    command = ["xdotool", "search", "--onlyvisible", "--class", AGENT_CLASS]
    ids = [w for w in xvfb.run(command, check=False).stdout.split() if _top_level(xvfb, w)]
    if name is None:
        return ids
    return [w for w in ids if xvfb.run(["xdotool", "getwindowname", w],
                                       check=False).stdout.strip() == name]


def _top_level(xvfb, window):
    out = xvfb.run(["xwininfo", "-children", "-id", window], check=False).stdout
    return "(the root window)" in out.split("Parent window id:", 1)[-1].split("\n", 1)[0]


def geometry(xvfb, window):
    out = xvfb.run(["xdotool", "getwindowgeometry", "--shell", window]).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return {k: int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")}


def screenshot(xvfb, window, path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    xvfb.run(["/usr/bin/import", "-window", window, path])
    return path


def pixel(xvfb, path, x, y):
    """The (r, g, b) of one pixel of a PNG file."""
    out = xvfb.run(["/usr/bin/convert", path, "-format", "%%[fx:int(255*p{%d,%d}.r)],"
                    "%%[fx:int(255*p{%d,%d}.g)],%%[fx:int(255*p{%d,%d}.b)]" %
                    (x, y, x, y, x, y), "info:"]).stdout
    return tuple(int(v) for v in out.strip().split(","))


def focus_and_type(xvfb, window, *keys):
    """Gives the window the keyboard and presses the keys through XTEST, as a user would."""
    xvfb.run(["xdotool", "windowfocus", "--sync", window])
    xvfb.run(["xdotool", "key"] + list(keys))


def open_tray_menu(xvfb, trayer):
    """Clicks the agent's tray icon, which opens its status menu."""
    tree = xvfb.run(["xwininfo", "-tree", "-id", trayer.panel()]).stdout
    match = re.search(r'(0x[0-9a-f]+) "[^"]*": \("%s"' % AGENT_CLASS, tree)
    icon = match.group(1)
    g = geometry(xvfb, icon)
    xvfb.run(["xdotool", "mousemove", str(g["X"] + g["WIDTH"] // 2),
              str(g["Y"] + g["HEIGHT"] // 2), "click", "1"])
