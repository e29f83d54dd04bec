"""Media players on a private session bus: a real mpv, and small MPRIS players of ours."""
import json
import os
import subprocess
import sys

import dbus

from .agent import wait_for
from .process import ChildProcess

HERE = os.path.dirname(os.path.abspath(__file__))


def bus(address):
    return dbus.bus.BusConnection(address)


def has_name(address, name):
    try:
        return bool(bus(address).name_has_owner(name))
    except dbus.DBusException:
        return False


class Mpv(ChildProcess):
    """mpv with its MPRIS plugin, looping three short tones, paused or playing."""

    def __init__(self, workdir, bus_address):
        self.workdir = workdir
        self.address = bus_address

    def start(self):
        files = []
        for i, pitch in enumerate((300, 400, 500)):
            path = os.path.join(self.workdir, "t%d.wav" % (i + 1))
            subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", path, "synth", "3", "sine",
                            str(pitch), "vol", "0.3"], check=True)
            files.append(path)
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address, HOME=self.workdir)
        env.pop("DISPLAY", None)
        self.process = subprocess.Popen(
            ["mpv", "--no-config", "--script=/usr/lib/mpv-mpris/mpris.so", "--no-video",
             "--ao=null", "--idle=yes", "--loop-playlist=inf", "--no-terminal"] + files,
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: has_name(self.address, "org.mpris.MediaPlayer2.mpv"), 10):
            raise RuntimeError("mpv did not appear on the bus")
        return self

    def _player(self):
        obj = bus(self.address).get_object("org.mpris.MediaPlayer2.mpv", "/org/mpris/MediaPlayer2")
        return dbus.Interface(obj, "org.freedesktop.DBus.Properties")

    def status(self):
        return str(self._player().Get("org.mpris.MediaPlayer2.Player", "PlaybackStatus"))

    def track(self):
        metadata = self._player().Get("org.mpris.MediaPlayer2.Player", "Metadata")
        return str(metadata.get("xesam:url", metadata.get("xesam:title", "")))


class FakePlayer(ChildProcess):
    """A player of ours (fake_player.py) that records the MPRIS calls it receives."""

    def __init__(self, workdir, bus_address, player_id, fail=(), hang=()):
        self.address = bus_address
        self.name = "org.mpris.MediaPlayer2." + player_id
        self.record = os.path.join(workdir, player_id.replace("/", "_") + ".calls")
        self.fail = ",".join(fail)
        self.hang = ",".join(hang)

    def start(self):
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address)
        self.process = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(HERE, "..", "tools", "fake_player.py"), self.name, self.record,
             self.fail, self.hang], env=env)
        if not wait_for(lambda: has_name(self.address, self.name), 10):
            raise RuntimeError(self.name + " did not appear on the bus")
        return self

    def calls(self):
        if not os.path.exists(self.record):
            return []
        with open(self.record) as f:
            return [json.loads(line) for line in f if line.strip()]
