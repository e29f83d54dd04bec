"""A desktop's pieces under Xvfb: a tray host (trayer) and the agent's windows."""
import os
import re

from .process import ChildProcess

AGENT_CLASS = "olvane-helper"


class Trayer(ChildProcess):
    """trayer, a freedesktop system tray host: tray icons dock into its panel."""

    def __init__(self, xvfb):
        self.xvfb = xvfb

    def start(self):
        return self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                           "--width", "200", "--height", "30"], self.panel,
                          env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS="disabled:",
                                   **self.xvfb.env()))

    def panel(self):
        for window in self.xvfb.run(["xdotool", "search", "--class", "trayer"], False).split():
            if "panel" in self.xvfb.run(["xprop", "-id", window, "WM_CLASS"]):
                return window
        return None

    def docked(self):
        """The window ids and WM_CLASS of the icons docked in the panel."""
        tree = self.xvfb.run(["xwininfo", "-tree", "-id", self.panel()])
        return dict(re.findall(r'(0x[0-9a-f]+) "[^"]*": \("([^"]*)"', tree))

    def click_icon(self, cls=AGENT_CLASS):
        """Clicks the icon of that class, which opens its menu."""
        icon = next(w for w, c in self.docked().items() if c == cls)
        g = geometry(self.xvfb, icon)
        self.xvfb.run(["xdotool", "mousemove", str(g["X"] + g["WIDTH"] // 2),
                       str(g["Y"] + g["HEIGHT"] // 2), "click", "1"])


def visible_windows(xvfb, name=None):
    """Ids of the agent's mapped top-level windows (not its tray icon); with a name, only
    those with that title."""
    found = []
    for w in xvfb.run(["xdotool", "search", "--onlyvisible", "--class", AGENT_CLASS],
                      False).split():
        parent = xvfb.run(["xwininfo", "-children", "-id", w], False).split("Parent window id:")
        if "(the root window)" in parent[-1].split("\n", 1)[0] and name in (
                None, xvfb.run(["xdotool", "getwindowname", w], False).strip()):
            found.append(w)
    return found


def geometry(xvfb, window):
    out = xvfb.run(["xdotool", "getwindowgeometry", "--shell", window])
    return {k: int(v) for k, v in (l.split("=", 1) for l in out.split()) if k != "WINDOW"}


def focus_and_type(xvfb, window, *keys):
    """Gives the window the keyboard and presses the keys through XTEST, as a user would."""
    xvfb.run(["xdotool", "windowfocus", "--sync", window])
    xvfb.run(["xdotool", "key"] + list(keys))
