"""Our fake bluetoothd (fake_bluez.py) as a child process on a private bus."""
import json
import os
import subprocess

import dbus

from .process import ChildProcess

E2E_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONTROL = "org.olvane.test.FakeBluez"


class FakeBluez(ChildProcess):
    """Owns org.bluez on the bus at address until stopped; steered through control()."""

    def __init__(self, address, powered=True):
        self.address = address
        self.powered = powered
        self._bus = None

    def start(self):
        command = ["/usr/bin/python3", "-m", "olvane_e2e.fake_bluez", "--address", self.address]
        if not self.powered:
            command.append("--unpowered")
        self.process = subprocess.Popen(command, cwd=E2E_DIR, stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            self.stop()
            raise RuntimeError("the fake BlueZ did not start")
        return self

    def control(self):
        if self._bus is None:
            self._bus = dbus.bus.BusConnection(self.address)
        proxy = self._bus.get_object("org.bluez", "/org/olvane/test", introspect=False)
        return dbus.Interface(proxy, CONTROL)

    def calls(self):
        return [c[0] for c in json.loads(str(self.control().Calls()))]

    def stop(self):
        if self._bus is not None:
            self._bus.close()
            self._bus = None
        super().stop()
