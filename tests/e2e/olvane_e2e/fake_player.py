"""A media player of ours: owns org.mpris.MediaPlayer2.<name> and prints each Player call it
receives as a JSON line. Methods given to --fail answer with an error, to --hang never.

Run from tests/e2e:
    python3 -m olvane_e2e.fake_player --address A --name N [--fail M,...] [--hang M,...]
"""
import argparse
import json

import dbus
import dbus.service

from olvane_e2e.stand_in import serve

PLAYER = "org.mpris.MediaPlayer2.Player"


class Player(dbus.service.Object):
    def __init__(self, bus, fail, hang):
        super().__init__(bus, "/org/mpris/MediaPlayer2")
        self.fail, self.hang, self.unanswered = fail, hang, []

    def answer(self, reply, error, method, *args):
        print(json.dumps([method] + [int(a) for a in args]), flush=True)
        if method in self.fail:
            error(dbus.DBusException(method + " refused by the test player",
                                     name="org.mpris.MediaPlayer2.Error.Failed"))
        elif method in self.hang:
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
        self.answer(reply, error, "Seek", offset)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--address", "--name", "--fail", "--hang"):
        parser.add_argument(option, default="")
    args = parser.parse_args()
    serve(args.address, "org.mpris.MediaPlayer2." + args.name,
          lambda bus: Player(bus, args.fail.split(","), args.hang.split(",")))


main()
