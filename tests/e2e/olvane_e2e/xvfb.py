"""A private X server (Xvfb) on a display number it picks itself."""
import os
import subprocess

from .agent import wait_for
from .process import ChildProcess


class Xvfb(ChildProcess):
    """Starts Xvfb with -noreset (so the pointer and layout survive clients leaving)."""

    def __init__(self, width=1920, height=1080):
        self.size = "%dx%dx24" % (width, height)
        self.display = None

    def start(self):
        """Starts on a display Xvfb picks; once more after stop() or kill(), on the same one."""
        options = ["-screen", "0", self.size, "-noreset", "-nolisten", "tcp"]
        if self.display:
            self.process = subprocess.Popen(["Xvfb", self.display] + options,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        else:
            self._start_on_a_free_display(options)
        ready = wait_for(lambda: self.run(["xdpyinfo"], check=False).returncode == 0, 10)
        if not ready:
            raise RuntimeError("Xvfb %s does not answer" % self.display)
        return self

    def _start_on_a_free_display(self, options):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end)] + options,
                                        pass_fds=[write_end], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def env(self):
        return {"DISPLAY": self.display}

    def run(self, command, check=True, **kwargs):
        """Runs an X client (xdotool, xrandr, setxkbmap...) against this server."""
        env = dict(os.environ, DISPLAY=self.display)
        return subprocess.run(command, env=env, check=check, capture_output=True, text=True,
                              **kwargs)

    def pointer(self):
        out = self.run(["xdotool", "getmouselocation", "--shell"]).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"])
