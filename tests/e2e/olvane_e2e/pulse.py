# SPDX-License-Identifier: GPL-3.0-or-later
import os
import re
import subprocess

from .process import ChildProcess


class PulseAudio(ChildProcess):
    """A private server with a null sink, where the agent finds it: in its runtime folder."""

    def __init__(self, agent):
        self.env = dict(os.environ, **{k: v for k, v in agent.environment().items()
                                       if k in ("HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME")})
        self.env.pop("PULSE_SERVER", None)

    def start(self):
        return self.spawn(["pulseaudio", "--exit-idle-time=-1", "--disallow-exit", "-n",
                           "--load=module-null-sink", "--load=module-native-protocol-unix"],
                          lambda: self.pactl("info", check=False).returncode == 0, env=self.env)

    def pactl(self, *args, check=True):
        return subprocess.run(["pactl"] + list(args), env=self.env, check=check,
                              capture_output=True, text=True)

    def volumes(self):
        """The default sink's channel volumes as raw values (65536 is 100 %)."""
        out = self.pactl("get-sink-volume", "@DEFAULT_SINK@").stdout
        # "Volume: front-left: 24248 /  37% / -25.91 dB,   front-right: ..."
        return [int(v) for v in re.findall(r"(\d+) /\s*\d+%", out.split("\n")[0])]

    def percent(self):
        return round(100 * sum(self.volumes()) / len(self.volumes()) / 65536)

    def set_raw(self, *values):
        self.pactl("set-sink-volume", "@DEFAULT_SINK@", *[str(v) for v in values])

    def muted(self):
        return self.pactl("get-sink-mute", "@DEFAULT_SINK@").stdout.strip().endswith("yes")
