# SPDX-License-Identifier: GPL-3.0-or-later
import json
import os
import subprocess

from .process import E2E_DIR, ChildProcess, our_module


class RecordingWindow(ChildProcess):
    """olvane_x11_window (built with the tests): one line per event reaching its window."""

    def __init__(self, xvfb):
        super().__init__([os.environ.get("OLVANE_X11_WINDOW", "olvane_x11_window")], "ready",
                         stdout=subprocess.PIPE, env=dict(os.environ, **xvfb.env()))

    def key_presses(self):
        return [tuple(int(v) for v in e.split()[:2]) for e in self.events("key-press")]

    def text(self):
        return b"".join(bytes.fromhex(e.split()[2]) for e in self.events("key-press")
                        if e.split()[2] != "-").decode("utf-8")


class TextField(ChildProcess):
    """olvane_e2e.text_field; text() is what was typed into it, each Return a line end."""

    def __init__(self, toolkit, env):
        super().__init__(our_module("text_field", toolkit), "ready", cwd=E2E_DIR,
                         stdout=subprocess.PIPE, env=dict(os.environ, **env))

    def text(self):
        typed, field = "", ""
        for kind, _, value in (line.partition(" ") for line in self.lines()):
            if kind == "submit":
                typed, field = typed + json.loads(value) + "\n", ""
            elif kind == "text":
                field = json.loads(value)
        return typed + field

    def pointer(self):
        return next((tuple(map(int, m.split())) for m in self.events("motion")[::-1]), None)
