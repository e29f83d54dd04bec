# SPDX-License-Identifier: GPL-3.0-or-later
import os

from .process import ChildProcess


class DBusBus(ChildProcess):
    """A private bus (the session configuration), as a session or a system bus."""

    def __init__(self, workdir, name="session_bus"):
        self.path = os.path.join(workdir, name)
        self.address = "unix:path=" + self.path

    def start(self):
        return self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           "--address=" + self.address], lambda: os.path.exists(self.path))
