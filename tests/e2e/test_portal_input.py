import os
import stat
import tempfile
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.agent import wait_for
from olvane_e2e.dbus import DBusBus
from olvane_e2e.portal import FakePortal


class PortalInput(AgentTestCase):
    """The real agent in a Wayland session: it picks the desktop portal by itself, a phone's
    commands reach the portal, and the consent is remembered across restarts."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="olvane-portal-")
        self.addCleanup(tmp.cleanup)
        self.bus = self.started(DBusBus(tmp.name))
        self.portal = self.started(FakePortal(self.bus.address))

    def test_commands_reach_the_portal_and_consent_is_asked_once(self):
        agent = self.launch(self.make_agent(dry_run=False, env={
            "WAYLAND_DISPLAY": "wayland-olvane-test",
            "DBUS_SESSION_BUS_ADDRESS": self.bus.address}))
        self.assertTrue(agent.wait_for_log("Input backend: auto chose portal; passed over "
                                           "x11 (Wayland session)"), agent.log())
        self.assertTrue(agent.wait_for_log("RemoteDesktop session started"), agent.log())
        phone = self.connect_phone(agent, paired=False)
        self.assertEqual(phone.pair("4321")["ax"], True)

        phone.send({"t": "mv", "dx": 1, "dy": -0.5})
        phone.send({"t": "click"})
        phone.send({"t": "text", "text": "é"})
        self.assertTrue(wait_for(lambda: len(self.portal.calls("NotifyKeyboardKeysym")) == 2))
        self.assertEqual(self.portal.calls("NotifyPointerMotion"),
                         [["NotifyPointerMotion", {}, 1, -0.5]])
        self.assertEqual([c[2:] for c in self.portal.calls("NotifyPointerButton")],
                         [[0x110, 1], [0x110, 0]])
        self.assertEqual([c[2:] for c in self.portal.calls("NotifyKeyboardKeysym")],
                         [[0xe9, 1], [0xe9, 0]])

        token = os.path.join(agent.workdir, "config", "olvane", "portal-restore-token")
        with open(token) as f:
            self.assertEqual(f.read().strip(), "token-1")
        self.assertEqual(stat.S_IMODE(os.stat(token).st_mode), 0o600)

        # Started again, the agent offers the token, so the desktop need not ask.
        agent.stop_cleanly()
        self.launch(agent)
        self.assertTrue(agent.wait_for_log("RemoteDesktop session started"), agent.log())
        selects = self.portal.calls("SelectDevices")
        self.assertEqual(len(selects), 2)
        first = {k: v for k, v in selects[0][1].items() if k != "handle_token"}
        self.assertEqual(first, {"types": 3, "persist_mode": 2})
        self.assertEqual(selects[1][1]["restore_token"], "token-1")


if __name__ == "__main__":
    unittest.main()
