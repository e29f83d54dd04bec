# SPDX-License-Identifier: GPL-3.0-or-later
"""Discovery through real Avahi daemons, in network namespaces so that multicast stays here."""
import os
import subprocess

from olvane_e2e import E2E_DIR, PYTHON, AgentTestCase, ChildProcess, DBusBus, stand_in, wait_for

NAME = "Bureau d'Élise"
TYPE = "_olvane._tcp"


def ip(*args, check=True):
    return subprocess.run(["ip", *args], check=check, capture_output=True)


class NetNamespace:
    def __init__(self):
        self.name = "olv_" + os.urandom(3).hex()

    def start(self):
        ip("netns", "add", self.name)
        ip("-n", self.name, "link", "set", "lo", "up")
        return self

    def command(self, command=()):
        return ["ip", "netns", "exec", self.name, *command]

    def stop(self):
        ip("netns", "del", self.name, check=False)

    def join(self, other):
        """Links the two namespaces, as 10.200.0.1 and 10.200.0.2, multicast routed between."""
        ends = ["ov%s%s" % (os.urandom(3).hex(), side) for side in "ab"]
        ip("-n", self.name, "link", "add", ends[0], "type", "veth", "peer", "name", ends[1],
           "netns", other.name)
        for ns, end, address in ((self, ends[0], "10.200.0.1"), (other, ends[1], "10.200.0.2")):
            ip("-n", ns.name, "addr", "add", address + "/24", "dev", end)
            ip("-n", ns.name, "link", "set", end, "up")
            ip("-n", ns.name, "route", "add", "224.0.0.0/4", "dev", end)


class Discovery(AgentTestCase):
    def avahi(self, netns, bus):
        """avahi-daemon on that bus, with a /run of its own for its pid file and socket."""
        script = ('mount -t tmpfs tmpfs /run && printf "[server]\\nuse-ipv6=no\\n" >/run/a.conf && '
                  'exec avahi-daemon --no-drop-root --no-chroot --no-rlimits -f /run/a.conf')
        return self.started(ChildProcess(
            netns.command(["sh", "-c", script]), "Server startup complete", timeout=15,
            env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=bus.address), stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT))

    def pair(self, netns, port, host):
        """What a phone in that namespace hears when it pairs."""
        code = ("from olvane_e2e import Phone; r = Phone(%d, %r).pair('4321'); "
                "print(r['t'], r['name'])")
        return subprocess.run(netns.command([PYTHON, "-c", code % (port, host)]), cwd=E2E_DIR,
                              capture_output=True, text=True, timeout=30).stdout

    def test_the_agent_serves_without_avahi_and_is_found_over_the_link_once_avahi_is_back(self):
        # Another computer on the link, with an Avahi of its own, already uses the name.
        here, there = self.started(NetNamespace()), self.started(NetNamespace())
        here.join(there)
        bus, their_bus = self.started(DBusBus(self.folder())), self.started(DBusBus(self.folder()))
        self.avahi(there, their_bus)
        their_env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=their_bus.address)
        self.started(ChildProcess(["avahi-publish", "-s", NAME, TYPE, "9"], env=their_env))
        # BlueZ on a kernel without Bluetooth, as on these machines: the agent runs on.
        self.started(stand_in("fake_bluez", bus.address))
        agent = self.start_agent(prefix=here.command(), env={
            "DBUS_SYSTEM_BUS_ADDRESS": bus.address, "OLVANE_NAME": NAME})
        self.assertEqual(agent.log_lines().count("mDNS désactivé (Avahi indisponible)"), 1)
        self.assertTrue(agent.wait_for_log(
            "BLE publish L2CAP failed: L2CAP socket: Address family not supported by protocol"))

        avahi = self.avahi(here, bus)
        line = agent.wait_for_log('mDNS name "%s" is taken; publishing as' % NAME, 20)
        self.assertTrue(line, agent.log())
        alternative = line.split('publishing as "', 1)[1].rstrip('"')
        published = 'mDNS service "%s" published (%s, port %d)' % (alternative, TYPE, agent.port)
        self.assertTrue(agent.wait_for_log(published, 15), agent.log())
        avahi.stop()
        self.assertTrue(agent.wait_for_log("Avahi stopped"))
        self.assertEqual(self.pair(here, agent.port, "127.0.0.1"), "paired %s\n" % NAME)
        avahi.start()
        self.assertTrue(wait_for(lambda: agent.log_lines().count(published) == 2, 20))

        # Over the link, the other computer's Avahi finds the agent, and a phone there pairs.
        def addresses():
            out = subprocess.run(["avahi-browse", "-rpt", TYPE], env=their_env,
                                 capture_output=True, text=True).stdout
            return [f[7] for f in (l.split(";") for l in out.splitlines())
                    if f[0] == "=" and f[8] == str(agent.port)]
        self.assertEqual(wait_for(addresses, 15), ["10.200.0.1"])
        self.assertEqual(self.pair(there, agent.port, "10.200.0.1"), "paired %s\n" % NAME)
