"""Discovery through a real avahi-daemon, in network namespaces of our own so that multicast
never leaves the test, each daemon on a private system bus."""
import json
import os
import subprocess

from olvane_e2e import (E2E_DIR, PYTHON, AgentTestCase, ChildProcess, DBusBus, our_module,
                        stand_in, wait_for)

NAME = "Bureau d'Élise"
TYPE = "_olvane._tcp"
AVAHI_CONFIG = """[server]
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
        """avahi-daemon on that bus, with a /run of its own, where it keeps its pid file and
        socket: daemons never see each other's."""
        config = os.path.join(self.folder(), "avahi.conf")
        with open(config, "w") as f:
            f.write(AVAHI_CONFIG)
        script = ('mount -t tmpfs tmpfs /run && exec avahi-daemon --no-drop-root --no-chroot '
                  '--no-rlimits -f "$0"')
        return self.started(ChildProcess(
            netns.command(["sh", "-c", script, config]), "Server startup complete", timeout=15,
            env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=bus.address), stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT))

    def test_the_agent_serves_without_avahi_and_a_phone_on_the_link_finds_it_once_avahi_is_back(
            self):
        # Another computer on the link, with an Avahi of its own, already uses the name.
        here, there = self.started(NetNamespace()), self.started(NetNamespace())
        here.join(there)
        bus, their_bus = self.started(DBusBus(self.folder())), self.started(DBusBus(self.folder()))
        self.avahi(there, their_bus)
        self.started(ChildProcess(["avahi-publish", "-s", NAME, TYPE, "9"],
                                  env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=their_bus.address)))
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
        self.assertNotEqual(alternative, NAME)
        published = 'mDNS service "%s" published (%s, port %d)' % (alternative, TYPE, agent.port)
        self.assertTrue(agent.wait_for_log(published, 15), agent.log())
        avahi.stop()
        self.assertTrue(agent.wait_for_log("Avahi stopped"))
        pair = "from olvane_e2e.phone import Phone; print(Phone(%d).pair('4321')['t'])"
        self.assertEqual(subprocess.run(here.command([PYTHON, "-c", pair % agent.port]),
                                        cwd=E2E_DIR, capture_output=True, text=True,
                                        timeout=30).stdout, "paired\n")
        avahi.start()
        self.assertTrue(wait_for(lambda: agent.log_lines().count(published) == 2, 20))

        # A phone there resolves it with python3-zeroconf, and pairs.
        out = subprocess.run(there.command(our_module("zeroconf_phone", alternative, "4321",
                                                      "10.200.0.2")),
                             cwd=E2E_DIR, capture_output=True, text=True, timeout=60)
        self.assertEqual(out.returncode, 0, out.stderr)
        result = json.loads(out.stdout)
        self.assertEqual((result["address"], result["port"]), ("10.200.0.1", agent.port))
        self.assertEqual(result["hello"]["t"], "needpair")
        self.assertEqual((result["pair"]["t"], result["pair"]["name"]), ("paired", NAME))
