import os
import stat
import tempfile
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.dbus import DBusBus
from olvane_e2e.portal import FakePortal


class PortalConsentKept(AgentTestCase):
    """Against a portal of RemoteDesktop version 2 (a stand-in: Debian 12's is version 1, see
    test_gnome_wayland.py for the real one), the agent asks for the consent to be kept and
    offers the portal's restore token at the next start."""

    def test_the_restore_token_is_kept_private_and_offered_at_the_next_start(self):
        tmp = tempfile.TemporaryDirectory(prefix="olvane-portal-")
        self.addCleanup(tmp.cleanup)
        bus = self.started(DBusBus(tmp.name))
        portal = self.started(FakePortal(bus.address))
        agent = self.launch(self.make_agent(dry_run=False, env={
            "WAYLAND_DISPLAY": "wayland-olvane-test", "DBUS_SESSION_BUS_ADDRESS": bus.address}))
        self.assertTrue(agent.wait_for_log("RemoteDesktop session started"), agent.log())
        token = os.path.join(agent.workdir, "config", "olvane", "portal-restore-token")
        with open(token) as f:
            self.assertEqual(f.read().strip(), "token-1")
        self.assertEqual(stat.S_IMODE(os.stat(token).st_mode), 0o600)

        agent.stop_cleanly()
        self.launch(agent)
        self.assertTrue(agent.wait_for_log("RemoteDesktop session started"), agent.log())
        selects = portal.calls("SelectDevices")
        self.assertEqual(len(selects), 2)
        first = {k: v for k, v in selects[0][1].items() if k != "handle_token"}
        self.assertEqual(first, {"types": 3, "persist_mode": 2})
        self.assertEqual(selects[1][1]["restore_token"], "token-1")


if __name__ == "__main__":
    unittest.main()
