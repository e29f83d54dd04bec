# SPDX-License-Identifier: GPL-3.0-or-later
"""A test case that runs the real agent and stops everything it started, in reverse order."""
import tempfile
import unittest

from .agent import Agent
from .phone import Phone


class AgentTestCase(unittest.TestCase):
    def make_agent(self, workdir=None, **options):
        """An agent not started yet, so that servers it needs can be given its folders."""
        agent = Agent(workdir or self.folder(), **options)
        self.addCleanup(lambda: agent.alive() and agent.kill())
        return agent

    def launch(self, agent):
        """Starts the agent; after the test it must exit cleanly on SIGTERM."""
        agent.start()
        self.addCleanup(agent.stop_cleanly)
        return agent

    def start_agent(self, **options):
        return self.launch(self.make_agent(**options))

    def started(self, thing):
        self.addCleanup(thing.stop)
        return thing.start()

    def folder(self):
        tmp = tempfile.TemporaryDirectory(prefix="olvane-e2e-")
        self.addCleanup(tmp.cleanup)
        return tmp.name

    def connect_phone(self, agent, paired=True):
        phone = Phone(agent.port)
        self.addCleanup(phone.close)
        if paired:
            self.assertEqual(phone.pair(agent.code)["t"], "paired")
        return phone

    def assert_input_dropped(self, phone):
        """With no way to post input, commands are dropped and the phone is told ax false."""
        phone.send({"t": "text", "text": "lost"})
        phone.send({"t": "mv", "dx": 5})
        self.assertEqual(phone.request({"t": "ping"}), {"t": "pong", "ax": False})
