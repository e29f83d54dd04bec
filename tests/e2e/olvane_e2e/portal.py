"""Our stand-in for the desktop portal (fake_portal.py) on a private session bus."""
import json
import os
import subprocess

import dbus

from .process import ChildProcess

HERE = os.path.dirname(os.path.abspath(__file__))


class FakePortal(ChildProcess):
    """org.freedesktop.portal.Desktop with its RemoteDesktop interface, on the given bus."""

    def __init__(self, bus_address):
        self.address = bus_address

    def start(self):
        args = ["/usr/bin/python3", "-m", "olvane_e2e.fake_portal", "--address", self.address]
        self.process = subprocess.Popen(args, cwd=os.path.dirname(HERE), stdout=subprocess.PIPE,
                                        text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError("the fake portal did not start")
        return self

    def _control(self):
        obj = dbus.bus.BusConnection(self.address).get_object(
            "org.freedesktop.portal.Desktop", "/org/olvane/test", introspect=False)
        return dbus.Interface(obj, "org.olvane.test.FakePortal")

    def calls(self, method=None):
        """The RemoteDesktop calls so far, [method, arguments after the session...]."""
        calls = json.loads(str(self._control().Calls()))
        return [c for c in calls if method is None or c[0] == method]
