import json
import os
import subprocess

from olvane_e2e import AgentTestCase, wait_for
from olvane_e2e.avahi import AvahiDaemon
from olvane_e2e.dbus import DBusBus
from olvane_e2e.netns import NetNamespace
from olvane_e2e.process import E2E_DIR, PYTHON, ChildProcess, our_module
from olvane_e2e.stand_in import stand_in

NAME = "Bureau d'Élise"
TYPE = "_olvane._tcp"


class Discovery(AgentTestCase):
    """The agent publishes through a real avahi-daemon, and serves whatever becomes of the
    services of the system bus; browsers we did not write find it."""

    def setUp(self):
        self.bus = self.started(DBusBus(self.folder(), "system_bus"))
        self.netns = self.started(NetNamespace())
        self.agent = self.make_agent(prefix=self.netns.command(), env={
            "DBUS_SYSTEM_BUS_ADDRESS": self.bus.address, "OLVANE_NAME": NAME})

    def avahi(self, netns=None, bus=None):
        return self.started(AvahiDaemon(self.folder(), netns or self.netns,
                                        (bus or self.bus).address))

    def published(self, name=NAME, times=1):
        line = 'mDNS service "%s" published (%s, port %d)' % (name, TYPE, self.agent.port)
        return wait_for(lambda: self.agent.log_lines().count(line) == times, 15)

    def test_without_avahi_or_bluez_the_agent_serves_and_publishes_once_avahi_starts_again(self):
        lines = self.launch(self.agent).log_lines()
        self.assertEqual(lines.count("mDNS désactivé (Avahi indisponible)"), 1)
        self.assertIn("BLE désactivé (BlueZ indisponible)", lines)
        avahi = self.avahi()
        self.assertTrue(self.published(), self.agent.log())
        avahi.stop()
        self.assertTrue(self.agent.wait_for_log("Avahi stopped"))
        pair = "from olvane_e2e.phone import Phone; print(Phone(%d).pair('4321')['t'])"
        self.assertEqual(subprocess.run(self.netns.command([PYTHON, "-c", pair % self.agent.port]),
                                        cwd=E2E_DIR, capture_output=True, text=True,
                                        timeout=30).stdout, "paired\n")
        avahi = self.avahi()
        self.assertTrue(self.published(times=2), self.agent.log())
        self.assertTrue(wait_for(lambda: avahi.browse(TYPE) == {(NAME, self.agent.port)}, 15))

    def test_a_name_taken_on_the_link_is_replaced_and_a_phone_there_finds_the_agent(self):
        # Another computer on the link, with an Avahi of its own, already uses the name.
        other, bus = self.started(NetNamespace()), self.started(DBusBus(self.folder()))
        self.netns.join(other)
        self.avahi(other, bus)
        self.started(ChildProcess(["avahi-publish", "-s", NAME, TYPE, "9"],
                                  env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=bus.address)))
        avahi = self.avahi()
        self.assertTrue(wait_for(lambda: (NAME, 9) in avahi.browse(TYPE), 15))
        # BlueZ without kernel Bluetooth, as on these machines: the agent runs on without it.
        self.started(stand_in("fake_bluez", self.bus.address))
        self.launch(self.agent)
        self.assertTrue(self.agent.wait_for_log(
            "BLE publish L2CAP failed: L2CAP socket: Address family not supported by protocol"))
        line = self.agent.wait_for_log('mDNS name "%s" is taken; publishing as' % NAME, 20)
        self.assertTrue(line, self.agent.log())
        alternative = line.split('publishing as "', 1)[1].rstrip('"')
        self.assertNotEqual(alternative, NAME)
        self.assertTrue(self.published(alternative), self.agent.log())

        # A phone there resolves it with python3-zeroconf, and pairs.
        out = subprocess.run(other.command(our_module("zeroconf_phone", alternative, "4321",
                                                      "10.200.0.2")),
                             cwd=E2E_DIR, capture_output=True, text=True, timeout=60)
        self.assertEqual(out.returncode, 0, out.stderr)
        result = json.loads(out.stdout)
        self.assertEqual((result["address"], result["port"]), ("10.200.0.1", self.agent.port))
        self.assertEqual(result["hello"]["t"], "needpair")
        self.assertEqual((result["pair"]["t"], result["pair"]["name"]), ("paired", NAME))
