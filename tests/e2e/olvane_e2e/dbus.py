"""Private D-Bus buses: a session bus, and a bus that plays the system bus."""
import os
import subprocess

from .agent import wait_for


class DBusBus:
    """A dbus-daemon with the session configuration listening on a socket in workdir."""

    def __init__(self, workdir, name="session_bus"):
        self.path = os.path.join(workdir, name)
        self.address = "unix:path=" + self.path
        self.pid = None

    def start(self):
        out = subprocess.run(
            ["dbus-daemon", "--session", "--fork", "--nopidfile",
             "--address=" + self.address, "--print-pid=1"],
            check=True, capture_output=True, text=True)
        self.pid = int(out.stdout.split()[0])
        if not wait_for(lambda: os.path.exists(self.path), 5):
            raise RuntimeError("dbus-daemon did not create " + self.path)
        return self

    def stop(self):
        if self.pid:
            try:
                os.kill(self.pid, 15)
            except ProcessLookupError:
                pass
            self.pid = None
