# SPDX-License-Identifier: GPL-3.0-or-later
import os
import re
import subprocess

from .process import ChildProcess


class Xvfb(ChildProcess):
    """Keeps pointer and layout as clients leave (-noreset), and its display when restarted."""

    display = None

    def start(self):
        read_end, write_end = os.pipe()  # Xvfb names its display there once it takes connections
        self.spawn(["Xvfb", *([self.display] if self.display else []), "-displayfd",
                    str(write_end), "-screen", "0", "1920x1080x24", "-noreset", "-nolisten", "tcp"],
                   pass_fds=[write_end])
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            self.display = ":" + announced.readline().strip()
        return self

    def env(self):
        return {"DISPLAY": self.display}

    def run(self, command, check=True):
        """Runs an X client (xdotool, setxkbmap...) against this server; its output."""
        return subprocess.run(command, env=dict(os.environ, **self.env()), check=check,
                              capture_output=True, text=True).stdout

    def pointer(self):
        out = self.run(["xdotool", "getmouselocation", "--shell"])
        return tuple(int(v) for v in re.findall(r"^[XY]=(\d+)$", out, re.M))
