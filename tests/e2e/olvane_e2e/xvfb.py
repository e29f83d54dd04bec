"""A private X server (Xvfb) on a display number it picks itself."""
import os
import subprocess

from .process import ChildProcess


class Xvfb(ChildProcess):
    """Xvfb with -noreset, so that the pointer and the layout survive clients leaving."""

    def __init__(self, width=1920, height=1080):
        self.size = "%dx%dx24" % (width, height)
        self.display = None

    def start(self):
        """On a display Xvfb picks; after stop() or kill(), on the same one again. Xvfb names
        it once it takes connections."""
        read_end, write_end = os.pipe()
        self.spawn(["Xvfb"] + ([self.display] if self.display else []) +
                   ["-displayfd", str(write_end), "-screen", "0", self.size, "-noreset",
                    "-nolisten", "tcp"], pass_fds=[write_end])
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        return self

    def env(self):
        return {"DISPLAY": self.display}

    def run(self, command, check=True):
        """Runs an X client (xdotool, setxkbmap...) against this server; its output."""
        return subprocess.run(command, env=dict(os.environ, DISPLAY=self.display), check=check,
                              capture_output=True, text=True).stdout

    def pointer(self):
        values = dict(l.split("=", 1) for l in self.run(["xdotool", "getmouselocation",
                                                          "--shell"]).split())
        return int(values["X"]), int(values["Y"])
