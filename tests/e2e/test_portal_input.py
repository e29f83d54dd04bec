import os
import stat

from olvane_e2e import AgentTestCase
from olvane_e2e.dbus import DBusBus
from olvane_e2e.stand_in import StandIn


class PortalConsentKept(AgentTestCase):
    """Against a portal of RemoteDesktop version 2 (a stand-in: Debian 12's is version 1, see
    test_gnome_wayland.py for the real one), the agent asks for the consent to be kept and
    offers the portal's restore token at the next start."""

    def test_the_restore_token_is_kept_private_and_offered_at_the_next_start(self):
        bus = self.started(DBusBus(self.folder()))
        portal = self.started(StandIn("fake_portal", bus.address))
        agent = self.make_agent(dry_run=False, env={
            "WAYLAND_DISPLAY": "wayland-olvane-test", "DBUS_SESSION_BUS_ADDRESS": bus.address})
        token = os.path.join(agent.workdir, "config", "olvane", "portal-restore-token")
        for start in (1, 2):
            agent.start()
            self.assertTrue(agent.wait_for_log("RemoteDesktop session started"), agent.log())
            with open(token) as f:
                self.assertEqual(f.read().strip(), "token-%d" % start)
            self.assertEqual(stat.S_IMODE(os.stat(token).st_mode), 0o600)
            agent.stop_cleanly()
        selects = [c[1] for c in portal.calls() if c[0] == "SelectDevices"]
        self.assertEqual([{k: v for k, v in s.items() if k != "handle_token"} for s in selects],
                         [{"types": 3, "persist_mode": 2},
                          {"types": 3, "persist_mode": 2, "restore_token": "token-1"}])

