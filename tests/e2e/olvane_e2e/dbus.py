# SPDX-License-Identifier: GPL-3.0-or-later
import os

from .process import ChildProcess


class DBusBus(ChildProcess):
    """A private bus (session configuration or the one given), as a session or a system bus."""

    def __init__(self, workdir, name="session_bus", config=None):
        self.path, self.config = os.path.join(workdir, name), config
        self.address = "unix:path=" + self.path

    def start(self):
        kind = "--config-file=" + self.config if self.config else "--session"
        return self.spawn(["dbus-daemon", kind, "--nofork", "--nopidfile",
                           "--address=" + self.address], lambda: os.path.exists(self.path))
