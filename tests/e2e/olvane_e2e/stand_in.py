# SPDX-License-Identifier: GPL-3.0-or-later
"""How our D-Bus stand-ins (fake_portal, fake_player, fake_bluez) serve, and tests start them."""
import subprocess

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

from .process import E2E_DIR, ChildProcess, our_module


def serve(address, bus_name, make):
    """Serves make(bus)'s objects as bus_name once "ready" is printed, until the bus goes."""
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    objects = make(bus)
    name = dbus.service.BusName(bus_name, bus, do_not_queue=True)
    print("ready", flush=True)
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda _: loop.quit())
    loop.run()
    del name, objects


def stand_in(module, address, *args):
    """olvane_e2e.<module> on the bus at address; calls() are those it printed."""
    return ChildProcess(our_module(module, "--address", address, *args), "ready",
                        stdout=subprocess.PIPE, cwd=E2E_DIR)
