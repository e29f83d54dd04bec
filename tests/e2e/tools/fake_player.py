"""A minimal MPRIS player: owns a bus name and records every Player call, one JSON line each.

Usage: fake_player.py <bus name> <record file> <comma-separated methods that fail>
                      [<comma-separated methods that never answer>]
"""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

PLAYER = "org.mpris.MediaPlayer2.Player"


class Player(dbus.service.Object):
    def __init__(self, bus, record, failing, hanging):
        super().__init__(bus, "/org/mpris/MediaPlayer2")
        self.record = record
        self.failing = failing
        self.hanging = hanging
        self.unanswered = []

    def _note(self, method, *args):
        with open(self.record, "a") as f:
            f.write(json.dumps([method] + [int(a) for a in args]) + "\n")
        if method in self.failing:
            raise dbus.exceptions.DBusException(method + " refused by the test player",
                                                name="org.mpris.MediaPlayer2.Error.Failed")

    @dbus.service.method(PLAYER, async_callbacks=("reply", "error"))
    def PlayPause(self, reply, error):
        self._note("PlayPause")
        if "PlayPause" in self.hanging:
            self.unanswered.append(reply)  # kept, never called
        else:
            reply()

    @dbus.service.method(PLAYER)
    def Next(self):
        self._note("Next")

    @dbus.service.method(PLAYER)
    def Previous(self):
        self._note("Previous")

    @dbus.service.method(PLAYER, in_signature="x")
    def Seek(self, offset):
        self._note("Seek", offset)


def main():
    name, record = sys.argv[1], sys.argv[2]
    failing = set(filter(None, sys.argv[3].split(",")))
    hanging = set(filter(None, sys.argv[4].split(","))) if len(sys.argv) > 4 else set()
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    keep = dbus.service.BusName(name, bus)
    player = Player(bus, record, failing, hanging)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
