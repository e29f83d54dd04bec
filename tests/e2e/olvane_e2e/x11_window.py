"""Windows of other processes on an Xvfb that record the input reaching them."""
import json
import os
import subprocess
import threading

from .agent import wait_for
from .process import ChildProcess

WINDOW = os.environ.get("OLVANE_X11_WINDOW", "olvane_x11_window")
TEXT_FIELD = os.path.join(os.path.dirname(__file__), "..", "tools", "text_field.py")


class _WindowLines(ChildProcess):
    """Runs a window program on the Xvfb and collects the lines it prints, from "ready" on."""

    def __init__(self, xvfb):
        self.xvfb = xvfb
        self._lines = []
        self._lock = threading.Lock()

    def _run(self, command, env=None, cwd=None):
        env = env or dict(os.environ, DISPLAY=self.xvfb.display)
        self.process = subprocess.Popen(command, env=env, cwd=cwd, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        if not wait_for(lambda: "ready" in self.lines(), 10):
            raise RuntimeError("%s did not come up" % command)
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

    def stop(self):
        super().stop()
        if self.process:
            self.process.stdout.close()


class RecordingWindow(_WindowLines):
    """olvane_x11_window (built with the tests): one line per event reaching its window."""

    def start(self):
        return self._run([WINDOW])

    def key_presses(self):
        """(keycode, state) of every key press."""
        return [tuple(int(v) for v in e.split()[:2]) for e in self.events("key-press")]

    def text(self):
        data = b"".join(bytes.fromhex(e.split()[2]) for e in self.events("key-press")
                        if e.split()[2] != "-")
        return data.decode("utf-8")

    def wait_for_text(self, expected, timeout=60):
        """The text once it is the expected one, or can no longer become it."""
        wait_for(lambda: not expected.startswith(self.text()) or self.text() == expected, timeout)
        return self.text()

    def wait_for_events(self, name, count, timeout=10):
        return wait_for(lambda: len(self.events(name)) >= count, timeout)


class TextField(_WindowLines):
    """An entry of a toolkit written by others, Tk or GTK 3: the lines submitted with Return."""

    def __init__(self, xvfb, toolkit):
        super().__init__(xvfb)
        self.toolkit = toolkit

    def start(self):
        return self._run(["/usr/bin/python3", TEXT_FIELD, self.toolkit])

    def submitted(self, count, timeout=60):
        wait_for(lambda: len(self.lines()) >= count, timeout)
        return [json.loads(l) for l in self.lines()]
