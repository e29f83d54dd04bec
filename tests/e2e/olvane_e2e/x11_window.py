"""A window of another process on an Xvfb that records the input reaching it."""
import os
import subprocess
import threading

from .agent import wait_for
from .process import ChildProcess

WINDOW = os.environ.get("OLVANE_X11_WINDOW", "olvane_x11_window")


class RecordingWindow(ChildProcess):
    """Runs olvane_x11_window (built with the tests), or another recording program, and
    collects its event lines."""

    def __init__(self, xvfb=None, command=(WINDOW,), env=None, cwd=None):
        self.command = list(command)
        self.env = env or dict(os.environ, DISPLAY=xvfb.display)
        self.cwd = cwd
        self._lines = []
        self._lock = threading.Lock()

    def start(self):
        self.process = subprocess.Popen(self.command, env=self.env, cwd=self.cwd,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        threading.Thread(target=self._read, daemon=True).start()
        if not wait_for(lambda: "ready" in self.lines(), 10):
            raise RuntimeError("the recording window did not come up")
        self.clear()
        return self

    def _read(self):
        for line in self.process.stdout:
            with self._lock:
                self._lines.append(line.rstrip("\n"))

    def lines(self):
        with self._lock:
            return list(self._lines)

    def clear(self):
        with self._lock:
            self._lines.clear()

    def events(self, name):
        """The lines of one kind of event, without their name."""
        return [l[len(name) + 1:] for l in self.lines()
                if l == name or l.startswith(name + " ")]

    def key_presses(self):
        """(keycode, state) of every key press."""
        return [tuple(int(v) for v in e.split()[:2]) for e in self.events("key-press")]

    def text(self):
        data = b"".join(bytes.fromhex(e.split()[2]) for e in self.events("key-press")
                        if e.split()[2] != "-")
        return data.decode("utf-8")

    def wait_for_text(self, expected, timeout=60):
        wait_for(lambda: len(self.text()) >= len(expected), timeout)
        return self.text()

    def wait_for_events(self, name, count, timeout=10):
        return wait_for(lambda: len(self.events(name)) >= count, timeout)

    def stop(self):
        super().stop()
        if self.process:
            self.process.stdout.close()
