import json
import os
import subprocess
import tempfile
import unittest

from olvane_e2e import Agent, AgentTestCase
from olvane_e2e.agent import wait_for
from olvane_e2e.avahi import AvahiDaemon
from olvane_e2e.dbus import DBusBus
from olvane_e2e.netns import NetNamespace, join

NAME = "Bureau d'Élise"
TYPE = "_olvane._tcp"


class Discovery(AgentTestCase):
    """The agent publishes through a real avahi-daemon; browsers we did not write find it."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="olvane-mdns-")
        self.addCleanup(tmp.cleanup)
        self.workdir = tmp.name
        self.bus = self.started(DBusBus(self.workdir, "system_bus"))
        self.netns = self.started(NetNamespace("a"))
        self.avahi = None
        self.agents = []

    def tearDown(self):
        try:
            for agent in self.agents:
                agent.stop_cleanly()
        finally:
            for agent in self.agents:
                agent.cleanup()

    def start_avahi(self, netns=None, bus=None, workdir=None):
        return self.started(AvahiDaemon(workdir or self.workdir, netns or self.netns,
                                    (bus or self.bus).address))

    def agent(self, name=NAME):
        # Each copy has a runtime folder of its own, so single instance lets both run.
        agent = Agent(netns=self.netns.name, env={
            "DBUS_SYSTEM_BUS_ADDRESS": self.bus.address, "OLVANE_NAME": name})
        self.agents.append(agent)
        return agent.start()

    def published(self, agent, name):
        line = 'mDNS service "%s" published (%s, port %d)' % (name, TYPE, agent.port)
        return agent.wait_for_log(line, timeout=15)

    def pair_from_the_namespace(self, agent):
        """A phone on the agent's own loopback pairs; returns the reply's type."""
        script = "from olvane_e2e.phone import Phone; print(Phone(%d).pair('4321')['t'])"
        out = self.netns.run(["/usr/bin/python3", "-c", script % agent.port], timeout=30,
                             cwd=os.path.dirname(os.path.abspath(__file__)),
                             env=dict(os.environ, PYTHONDONTWRITEBYTECODE="1"))
        return out.stdout.strip() or out.stderr

    def browse_until(self, condition):
        return wait_for(lambda: condition(self.avahi.browse(TYPE)), timeout=15, interval=0.2)

    def test_avahi_browse_lists_the_service_under_the_display_name_and_the_real_port(self):
        self.avahi = self.start_avahi()
        agent = self.agent()
        self.assertTrue(self.published(agent, NAME), agent.log())
        services = self.browse_until(lambda s: [x for x in s if x["name"] == NAME])
        self.assertTrue(services, self.avahi.log())
        self.assertEqual({s["port"] for s in services}, {agent.port})
        self.assertEqual({s["type"] for s in services}, {TYPE})

    def test_a_second_copy_under_the_same_name_takes_avahis_alternative(self):
        self.avahi = self.start_avahi()
        first = self.agent()
        self.assertTrue(self.published(first, NAME), first.log())
        second = self.agent()
        renamed = NAME + " #2"
        self.assertIn('mDNS name "%s" is taken; publishing as "%s"' % (NAME, renamed),
                      second.log_lines() if self.published(second, renamed) else second.log())
        services = self.browse_until(lambda s: len({x["name"] for x in s}) == 2 and s)
        self.assertEqual({(s["name"], s["port"]) for s in services},
                         {(NAME, first.port), (renamed, second.port)})

    def test_a_name_taken_by_another_computer_is_replaced_after_the_conflict(self):
        # Another computer on the link, with its own Avahi, already uses the name.
        other_dir = os.path.join(self.workdir, "other")
        os.makedirs(other_dir)
        other_bus = self.started(DBusBus(other_dir, "system_bus"))
        other = self.started(NetNamespace("o"))
        join(self.netns, other)
        self.avahi = self.start_avahi()
        self.start_avahi(netns=other, bus=other_bus, workdir=other_dir)
        publisher = subprocess.Popen(
            ["avahi-publish", "-s", NAME, TYPE, "9"], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=other_bus.address))
        self.addCleanup(lambda: (publisher.terminate(), publisher.wait()))
        self.assertTrue(self.browse_until(lambda s: [x for x in s if x["port"] == 9]))

        agent = self.agent()
        line = agent.wait_for_log('mDNS name "%s" is taken; publishing as' % NAME, timeout=20)
        self.assertTrue(line, agent.log())
        alternative = line.split('publishing as "', 1)[1].rstrip('"')
        self.assertNotEqual(alternative, NAME)
        self.assertTrue(self.published(agent, alternative), agent.log())

    def test_without_avahi_the_agent_serves_and_publishes_once_the_daemon_starts_or_restarts(self):
        agent = self.agent()
        self.assertEqual(agent.log_lines().count("mDNS désactivé (Avahi indisponible)"), 1)
        self.avahi = self.start_avahi()
        self.assertTrue(self.published(agent, NAME), agent.log())

        self.avahi.stop()
        self.assertTrue(agent.wait_for_log("Avahi stopped"))
        self.assertEqual(self.pair_from_the_namespace(agent), "paired")
        self.avahi = self.start_avahi()
        self.assertTrue(wait_for(lambda: agent.log_lines().count(
            'mDNS service "%s" published (%s, port %d)' % (NAME, TYPE, agent.port)) == 2, 15),
            agent.log())
        self.assertTrue(self.browse_until(lambda s: [x for x in s if x["port"] == agent.port]))

    def test_a_phone_on_the_link_resolves_the_service_with_zeroconf_and_pairs(self):
        phone_ns = self.started(NetNamespace("p"))
        join(self.netns, phone_ns, "10.200.0.1", "10.200.0.2")
        self.avahi = self.start_avahi()
        agent = self.agent()
        self.assertTrue(self.published(agent, NAME), agent.log())

        here = os.path.dirname(os.path.abspath(__file__))
        out = phone_ns.run(["/usr/bin/python3", "-m", "olvane_e2e.zeroconf_phone", NAME,
                            "4321", "10.200.0.2"], cwd=here, timeout=60,
                           env=dict(os.environ, PYTHONDONTWRITEBYTECODE="1"))
        self.assertEqual(out.returncode, 0, out.stderr)
        result = json.loads(out.stdout.strip().splitlines()[-1])
        self.assertEqual(result.get("address"), "10.200.0.1", out.stdout + out.stderr)
        self.assertEqual(result["port"], agent.port)
        self.assertEqual(result["hello"]["t"], "needpair")
        self.assertEqual(result["pair"]["t"], "paired")
        self.assertEqual(result["pair"]["name"], NAME)


if __name__ == "__main__":
    unittest.main()
