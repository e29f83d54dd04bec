"""A real avahi-daemon inside a network namespace, on a private system bus."""
import os
import re
import subprocess

import dbus

from .process import ChildProcess

CONFIG = """[server]
use-ipv4=yes
use-ipv6=no
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
"""


class AvahiDaemon(ChildProcess):
    """avahi-daemon in `netns`, on the bus at `bus_address`. It keeps its pid file and socket
    under /run/avahi-daemon, so it gets a /run of its own: daemons never see each other's."""

    def __init__(self, workdir, netns, bus_address):
        self.workdir, self.netns, self.bus_address = workdir, netns, bus_address

    def start(self):
        config = os.path.join(self.workdir, "avahi.conf")
        with open(config, "w") as f:
            f.write(CONFIG)
        script = ('mount -t tmpfs tmpfs /run && exec avahi-daemon --no-drop-root --no-chroot '
                  '--no-rlimits -f "$0"')
        with open(os.path.join(self.workdir, "avahi.log"), "ab") as log:
            return self.spawn(self.netns.command(["sh", "-c", script, config]), self.running,
                              15, env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.bus_address),
                              stdout=log, stderr=subprocess.STDOUT)

    def running(self):
        bus = dbus.bus.BusConnection(self.bus_address)
        try:
            return bus.get_object("org.freedesktop.Avahi", "/").GetState(
                dbus_interface="org.freedesktop.Avahi.Server") == 2
        except dbus.exceptions.DBusException:
            return False
        finally:
            bus.close()

    def browse(self, service_type):
        """The resolved services avahi-browse lists, as (name, port)."""
        out = subprocess.run(["avahi-browse", "-rpt", service_type], capture_output=True,
                             text=True, timeout=30,
                             env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.bus_address))
        return {(unescape(f[3]), int(f[8])) for f in (l.split(";") for l in out.stdout.split("\n"))
                if f[0] == "=" and len(f) > 8}


def unescape(label):
    """avahi-browse -p writes some bytes of a name's UTF-8 as backslash and three digits."""
    raw = re.sub(rb"\\(\d{3})", lambda m: bytes([int(m.group(1))]), label.encode("utf-8"))
    return raw.decode("utf-8", "replace")
