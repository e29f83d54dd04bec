"""A real avahi-daemon inside a network namespace, on a private system bus."""
import os
import re
import subprocess

import dbus

from .agent import wait_for
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

SERVER_RUNNING = 2


class AvahiDaemon(ChildProcess):
    """avahi-daemon in `netns`, registered on the bus at `bus_address`.

    The daemon keeps its pid file and socket under /run/avahi-daemon; it gets a /run of its
    own so that several daemons (parallel test runs) never see each other's."""

    stop_timeout = 10

    def __init__(self, workdir, netns, bus_address):
        self.workdir = workdir
        self.netns = netns
        self.bus_address = bus_address
        self.config = os.path.join(workdir, "avahi.conf")
        self.log_path = os.path.join(workdir, "avahi.log")

    def start(self):
        with open(self.config, "w") as f:
            f.write(CONFIG)
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.bus_address)
        script = ('mount -t tmpfs tmpfs /run && exec avahi-daemon --no-drop-root --no-chroot '
                  '--no-rlimits -f "$0"')
        log = open(self.log_path, "ab")
        self.process = subprocess.Popen(self.netns.command(["sh", "-c", script, self.config]),
                                        env=env, stdout=log, stderr=subprocess.STDOUT)
        log.close()
        if not wait_for(lambda: self.state() == SERVER_RUNNING or self.process.poll(), 15):
            raise RuntimeError("avahi-daemon did not start:\n" + self.log())
        if self.process.poll() is not None:
            raise RuntimeError("avahi-daemon exited:\n" + self.log())
        return self

    def state(self):
        try:
            bus = dbus.bus.BusConnection(self.bus_address)
            try:
                server = bus.get_object("org.freedesktop.Avahi", "/")
                return int(server.GetState(dbus_interface="org.freedesktop.Avahi.Server"))
            finally:
                bus.close()
        except dbus.exceptions.DBusException:
            return None

    def log(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def browse(self, service_type):
        """The resolved services avahi-browse lists: dicts of name, interface, address, port."""
        out = subprocess.run(["avahi-browse", "-rpt", service_type], capture_output=True,
                             text=True, timeout=30,
                             env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.bus_address))
        found = []
        for line in out.stdout.splitlines():
            fields = line.split(";")
            if fields[0] != "=" or len(fields) < 9:
                continue
            found.append({"interface": fields[1], "protocol": fields[2],
                          "name": unescape(fields[3]), "type": fields[4],
                          "host": fields[6], "address": fields[7], "port": int(fields[8])})
        return found


def unescape(label):
    """avahi-browse -p writes some characters of a name as backslash and three decimal digits
    (a byte of the UTF-8 text)."""
    raw = re.sub(rb"\\(\d{3})", lambda m: bytes([int(m.group(1))]), label.encode("utf-8"))
    return raw.decode("utf-8", "replace")
