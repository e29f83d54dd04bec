# SPDX-License-Identifier: GPL-3.0-or-later
"""Run as a program on a session bus with the accessibility bus: prints, as one JSON list, the
names of everything in the visible window titled by the argument, as a screen reader sees it."""
import json
import sys

import pyatspi
from gi.repository import GLib

from .process import wait_for


def names(node):
    return [node.name] + [n for child in node if child is not None for n in names(child)]


def window(title):
    while GLib.MainContext.default().iteration(False):  # news of windows arrive as events
        pass
    return next((frame for app in pyatspi.Registry.getDesktop(0) if app is not None
                 for frame in app if frame is not None and frame.name == title
                 and frame.getState().contains(pyatspi.STATE_VISIBLE)), None)


if __name__ == "__main__":
    frame = wait_for(lambda: window(sys.argv[1]), 20, 0.05)
    print(json.dumps(names(frame) if frame else []), flush=True)
