# SPDX-License-Identifier: GPL-3.0-or-later
from olvane_e2e import KdeWayland, wait_for
from olvane_e2e.portal_case import GREETING, MIXED, PortalCase


class Kde(PortalCase):
    """The agent on KDE Plasma's Wayland stack: its portal asks nobody and tells the user."""

    def start(self, layout="us"):
        self.start_on(KdeWayland(self.folder(), layout))
        self.assertTrue(self.agent.wait_for_log("RemoteDesktop session started", 30),
                        self.agent.log())
        self.assertTrue(wait_for(lambda: "Remote control session started"
                                 in self.stack.notifications.calls()))
        return self.connect_phone(self.agent)

    def test_moves_clicks_scrolls_keys_and_texts_reach_a_gtk_program_on_two_displays(self):
        self.check_pointer_scroll_keys_and_text(self.start())

    def test_the_first_keys_of_a_session_and_texts_arrive_whole_on_the_french_layout(self):
        # "maze" first: its keys went through a US keymap once (",qwe").
        self.type_texts(self.start(layout="fr"), "maze", GREETING, MIXED)
