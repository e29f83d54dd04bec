"""A real mpv with its MPRIS plugin, on a private session bus."""
import os
import subprocess

import dbus

from .process import ChildProcess

NAME = "org.mpris.MediaPlayer2.mpv"


class Mpv(ChildProcess):
    """mpv looping three short tones, playing."""

    def __init__(self, workdir, bus_address):
        self.workdir, self.address = workdir, bus_address

    def start(self):
        files = [os.path.join(self.workdir, "t%d.wav" % pitch) for pitch in (300, 400, 500)]
        for path, pitch in zip(files, (300, 400, 500)):
            subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", path, "synth", "3", "sine",
                            str(pitch), "vol", "0.3"], check=True)
        self.bus = dbus.bus.BusConnection(self.address)
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address, HOME=self.workdir)
        env.pop("DISPLAY", None)
        return self.spawn(["mpv", "--no-config", "--script=/usr/lib/mpv-mpris/mpris.so",
                           "--no-video", "--ao=null", "--idle=yes", "--loop-playlist=inf",
                           "--no-terminal"] + files, lambda: self.property("PlaybackStatus") ==
                          "Playing", env=env)

    def property(self, name):
        try:
            return self.bus.get_object(NAME, "/org/mpris/MediaPlayer2").Get(
                "org.mpris.MediaPlayer2.Player", name, dbus_interface=dbus.PROPERTIES_IFACE)
        except dbus.DBusException:
            return None

    def status(self):
        return str(self.property("PlaybackStatus"))

    def track(self):
        return str(self.property("Metadata")["xesam:url"])
