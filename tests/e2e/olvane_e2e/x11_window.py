"""Windows of other processes on an Xvfb that record the input reaching them."""
import json
import os
import subprocess

from .process import PYTHON, ChildProcess

WINDOW = os.environ.get("OLVANE_X11_WINDOW", "olvane_x11_window")
TEXT_FIELD = os.path.join(os.path.dirname(__file__), "..", "tools", "text_field.py")


class RecordingWindow(ChildProcess):
    """olvane_x11_window (built with the tests): one line per event reaching its window."""

    def __init__(self, xvfb, command=(WINDOW,)):
        self.xvfb, self.command = xvfb, list(command)

    def start(self):
        return self.spawn(self.command, "ready", stdout=subprocess.PIPE,
                          env=dict(os.environ, DISPLAY=self.xvfb.display))

    def key_presses(self):
        """(keycode, state) of every key press."""
        return [tuple(int(v) for v in e.split()[:2]) for e in self.events("key-press")]

    def text(self):
        return b"".join(bytes.fromhex(e.split()[2]) for e in self.events("key-press")
                        if e.split()[2] != "-").decode("utf-8")


class TextField(RecordingWindow):
    """An entry of a toolkit written by others, Tk or GTK 3; text() is every line submitted
    with Return."""

    def __init__(self, xvfb, toolkit):
        super().__init__(xvfb, [PYTHON, TEXT_FIELD, toolkit])

    def text(self):
        return "".join(json.loads(l) + "\n" for l in self.lines())
