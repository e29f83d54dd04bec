# SPDX-License-Identifier: GPL-3.0-or-later
"""A media player of ours, org.mpris.MediaPlayer2.<name>: it prints each Player call as a JSON
line; the method given to --fail answers with an error, to --hang never. Run from tests/e2e:
python3 -m olvane_e2e.fake_player --address A --name N [--fail M] [--hang M]"""
import json
import sys

import dbus
import dbus.service

from olvane_e2e.stand_in import serve

PLAYER = "org.mpris.MediaPlayer2.Player"
OPTIONS = dict(zip(sys.argv[1::2], sys.argv[2::2]))


class Player(dbus.service.Object):
    unanswered = []

    def answer(self, reply, error, method, *args):
        print(json.dumps([method, *args]), flush=True)
        if method == OPTIONS.get("--fail"):
            error(dbus.DBusException(method + " refused by the test player",
                                     name="org.mpris.MediaPlayer2.Error.Failed"))
        elif method == OPTIONS.get("--hang"):
            self.unanswered.append(reply)
        else:
            reply()

    @dbus.service.method(PLAYER, async_callbacks=("reply", "error"))
    def PlayPause(self, reply, error):
        self.answer(reply, error, "PlayPause")

    @dbus.service.method(PLAYER, async_callbacks=("reply", "error"))
    def Next(self, reply, error):
        self.answer(reply, error, "Next")

    @dbus.service.method(PLAYER, async_callbacks=("reply", "error"))
    def Previous(self, reply, error):
        self.answer(reply, error, "Previous")

    @dbus.service.method(PLAYER, in_signature="x", async_callbacks=("reply", "error"))
    def Seek(self, offset, reply, error):
        self.answer(reply, error, "Seek", int(offset))


serve(OPTIONS["--address"], "org.mpris.MediaPlayer2." + OPTIONS["--name"],
      lambda bus: Player(bus, "/org/mpris/MediaPlayer2"))
