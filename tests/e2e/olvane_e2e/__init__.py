# SPDX-License-Identifier: GPL-3.0-or-later
"""Helpers that start the real agent, the servers and programs around it, and talk to it the way
the phone does."""
from . import programs  # noqa: F401  (refuses to start programs missing from the list)
from .agent import Agent
from .case import AgentTestCase
from .dbus import DBusBus
from .gnome import GnomeWayland
from .kde import KdeWayland
from .phone import Phone
from .process import E2E_DIR, PYTHON, ChildProcess, our_module, wait_for
from .pulse import PulseAudio
from .stand_in import stand_in
from .sway import AS_NOBODY, Sway, Wev, hand_over
from .x11_window import RecordingWindow, TextField
from .xvfb import Xvfb
