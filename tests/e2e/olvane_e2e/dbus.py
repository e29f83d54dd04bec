"""Private D-Bus buses: a session bus, and a bus that plays the system bus."""
import os

from .process import ChildProcess


class DBusBus(ChildProcess):
    """A dbus-daemon with the session configuration listening on a socket in workdir."""

    def __init__(self, workdir, name="session_bus"):
        self.path = os.path.join(workdir, name)
        self.address = "unix:path=" + self.path

    def start(self):
        return self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           "--address=" + self.address], lambda: os.path.exists(self.path))
