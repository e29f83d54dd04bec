"""What our D-Bus stand-ins (fake_portal, fake_player, fake_bluez) share: D-Bus values as JSON,
serving on a private bus, and, for a test, starting one."""
import subprocess

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

from .process import E2E_DIR, ChildProcess, our_module


def plain(value):
    """D-Bus values as JSON values."""
    if isinstance(value, (bool, dbus.Boolean)):
        return bool(value)
    if isinstance(value, (dbus.String, dbus.ObjectPath, dbus.Signature)):
        return str(value)
    if isinstance(value, dbus.Double):
        return float(value)
    if isinstance(value, int):
        return int(value)
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    return value


def serve(address, bus_name, make):
    """Owns bus_name on the bus at address with the objects make(bus) returns, prints "ready",
    and serves until the bus goes away."""
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    objects = make(bus)
    name = dbus.service.BusName(bus_name, bus, do_not_queue=True)
    print("ready", flush=True)
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda _: loop.quit())
    loop.run()
    del name, objects


class StandIn(ChildProcess):
    """A stand-in of ours, olvane_e2e.<module>, on the bus at address. The portal and the
    player print each call they receive as a JSON line (calls())."""

    def __init__(self, module, address, *args):
        self.command = our_module(module, "--address", address, *args)

    def start(self):
        return self.spawn(self.command, "ready", stdout=subprocess.PIPE, cwd=E2E_DIR)
