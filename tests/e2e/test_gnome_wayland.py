# SPDX-License-Identifier: GPL-3.0-or-later
import os
import stat

from olvane_e2e import DBusBus, GnomeWayland, stand_in
from olvane_e2e.portal_case import GREETING, MIXED, PortalCase


class Gnome(PortalCase):
    """The agent on GNOME's own Wayland stack, where it picks the portal and a user answers."""
    scroll_stops = False  # mutter 43 ends no scroll of its portal's for its programs

    def start(self, layout="us", share=True):
        self.start_on(GnomeWayland(self.folder(), layout))
        self.assertTrue(self.agent.wait_for_log("Input backend: auto chose portal"),
                        self.agent.log())
        self.assertEqual(self.stack.answer(share), "done")
        if share:
            self.assertTrue(self.agent.wait_for_log("RemoteDesktop session started"),
                            self.agent.log())
        return self.connect_phone(self.agent)

    def test_moves_clicks_scrolls_keys_and_text_reach_a_gtk_program_on_two_displays(self):
        self.check_pointer_scroll_keys_and_text(self.start())

    def test_text_arrives_whole_on_the_french_layout(self):
        self.type_texts(self.start(layout="fr"), GREETING, MIXED)

    def test_a_refused_dialog_leaves_ax_false_with_one_log_line(self):
        phone = self.start(share=False)
        refused = "Input: remote control was refused on the desktop"
        self.assertTrue(self.agent.wait_for_log(refused), self.agent.log())
        self.assert_input_dropped(phone)
        input_lines = [l for l in self.agent.log_lines() if l.startswith("Input:")]
        self.assertEqual(input_lines.count(refused), 1, input_lines)

    def test_a_portal_of_version_2_keeps_the_consent_with_a_private_restore_token(self):
        # A stand-in: Debian 12's portal is version 1.
        bus = self.started(DBusBus(self.folder()))
        portal = self.started(stand_in("fake_portal", bus.address))
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
