# SPDX-License-Identifier: GPL-3.0-or-later
"""Headless sway with two outputs, and wev recording what reaches its window. Sway refuses to
run as root: both run as nobody, and so must the agent that talks to them (AS_NOBODY)."""
import glob
import os
import re
import subprocess

from .process import ChildProcess

NOBODY = 65534
AS_NOBODY = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]
# The second output is lower than the first and to its right.
CONFIG = """output HEADLESS-1 resolution 1280x720 position 0 0
output HEADLESS-2 resolution 640x480 position 1280 0
default_border none
"""


def hand_over(folder):
    """Makes a folder of ours nobody's, for a program run as nobody to write in."""
    for path, _, _ in os.walk(folder):
        os.chown(path, NOBODY, NOBODY)


class Sway(ChildProcess):
    def __init__(self, workdir):
        self.runtime, self.config = os.path.join(workdir, "run"), os.path.join(workdir, "sway.conf")
        os.chmod(workdir, 0o755)
        os.mkdir(self.runtime, 0o700)
        hand_over(self.runtime)
        with open(self.config, "w") as f:
            f.write(CONFIG)

    def start(self):
        sockets = lambda: glob.glob(self.runtime + "/wayland-?")  # noqa: E731
        self.spawn(AS_NOBODY + ["sway", "-c", self.config], sockets, env={
            "PATH": os.environ["PATH"], "HOME": self.runtime, "XDG_RUNTIME_DIR": self.runtime,
            "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
            "WLR_RENDERER": "pixman", "WLR_HEADLESS_OUTPUTS": "2"})
        self.display = os.path.basename(sockets()[0])
        return self

    def env(self):
        return {"XDG_RUNTIME_DIR": self.runtime, "WAYLAND_DISPLAY": self.display}


class Wev(ChildProcess):
    """wev's window, which sway gives the whole first output, and the events wev prints."""

    def __init__(self, sway):
        super().__init__(AS_NOBODY + ["stdbuf", "-oL", "wev"],
                         lambda: self.of("wl_keyboard", "enter"), stdout=subprocess.PIPE,
                         env=dict(sway.env(), PATH=os.environ["PATH"]))

    def records(self):
        """[interface, event, text] of each event, its continuation lines joined."""
        records = []
        for line in self.lines():
            match = re.match(r"\[\s*\d+:\s*(\w+)\] (\w+):? ?(.*)", line)
            if match:
                records.append(list(match.groups()))
            elif records:
                records[-1][2] += " " + line.strip()
        return records

    def of(self, interface, event):
        return [text for i, e, text in self.records() if (i, e) == (interface, event)]

    def pointer_at_buttons(self):
        """Where the pointer was, in whole pixels of the window, at each button event."""
        positions, at = [], None
        for interface, event, text in self.records():
            if interface == "wl_pointer" and "x, y: " in text:
                at = tuple(round(float(v)) for v in text.split("x, y: ")[1].split(", "))
            elif (interface, event) == ("wl_pointer", "button"):
                positions.append((at, text.split("button: ")[1]))
        return positions

    def presses(self):
        """The key presses whose continuation line, with the symbol, is read."""
        return [t for t in self.of("wl_keyboard", "key") if "(pressed)" in t and "sym: " in t]

    def key_presses(self):
        return [(int(t.split("key: ")[1].split(";")[0]), t.split("sym: ")[1].split()[0])
                for t in self.presses()]

    def text(self):
        return "".join(m.group(1) for m in (re.search(r"utf8: '(.*)'$", t)
                                            for t in self.presses()) if m)
