# SPDX-License-Identifier: GPL-3.0-or-later
import os
import signal
import stat
import struct
import time

from olvane_e2e import AgentTestCase, DBusBus, GnomeWayland, TextField, stand_in, wait_for

GREETING = "héllo € ñ Ω ж 😀"
# Letters of the layouts and far from them, signs, other scripts and emoji.
MIXED = ("Le cœur a ses raisons, 1234 — Ωμέγα, жизнь; 日本語 😀🎉 naïve façade déjà-vu? "
         "ÀÉÎÕÜ ß ø å æ € £ ¥ © «» „quotes“ <tag> & % $ # @ ! ~ ^ * ( ) [ ] { } | / + = _ ")
MIXED = (MIXED * 3)[:300]


class Gnome(AgentTestCase):
    """The agent on GNOME's own Wayland stack, where it picks the portal and a user answers."""

    def start(self, layout="us", share=True):
        self.stack = self.started(GnomeWayland(self.folder(), layout))
        self.window = self.started(TextField("gtk", dict(self.stack.env(), GDK_BACKEND="wayland")))
        self.agent = self.start_agent(dry_run=False, env=dict(self.stack.env(), HOME=None))
        self.assertTrue(self.agent.wait_for_log("Input backend: auto chose portal"),
                        self.agent.log())
        self.assertEqual(self.stack.answer(share), "done")
        if share:
            self.assertTrue(self.agent.wait_for_log("RemoteDesktop session started"),
                            self.agent.log())
        return self.connect_phone(self.agent)

    def moves(self, phone, *steps):
        for message, at in steps:
            phone.send(message)
            self.assertTrue(wait_for(lambda: self.window.pointer() == at), self.window.pointer())

    def type_greeting_and_mixed_text(self, phone):
        for text in (GREETING, MIXED):
            phone.send({"t": "text", "text": text})
        # A program busy for a second does not read its keys meanwhile; mutter drops one whose
        # socket fills up, and the program quits.
        wait_for(lambda: len(self.window.text()) > len(GREETING) + 10)
        self.window.process.send_signal(signal.SIGSTOP)
        time.sleep(1)
        self.window.process.send_signal(signal.SIGCONT)
        self.assertEqual(self.window.wait_for_text(GREETING + MIXED), GREETING + MIXED)

    def test_moves_clicks_scrolls_keys_and_text_reach_a_gtk_program_on_two_displays(self):
        phone = self.start()
        # Beyond the top left corner, then by what the phone sent. A click posts what is left
        # of a move first.
        self.moves(phone, ({"t": "mv", "dx": -5000, "dy": -5000}, (0, 0)),
                   ({"t": "click"}, (0, 0)), ({"t": "mv", "dx": 100, "dy": 50}, (100, 50)))
        self.window.clear()
        for message in ({"t": "click"}, {"t": "click", "right": True}, {"t": "drag", "down": True},
                        {"t": "mv", "dx": 200, "dy": 100}, {"t": "drag", "down": False}):
            phone.send(message)
        self.assertTrue(self.window.wait_for_events("release", 3))
        self.assertEqual(self.window.events("press"), ["1 100 50", "3 100 50", "1 100 50"])
        self.assertEqual(self.window.events("release"), ["1 100 50", "3 100 50", "1 300 150"])

        # Across to the second display, beyond its far corner, back to the first display and
        # beyond its corner: the pointer stays on the displays. Then onto the text field.
        self.moves(phone, (struct.pack("<Bff", 1, 2400, -40), (2700, 110)),
                   ({"t": "mv", "dx": 5000, "dy": 5000}, (3839, 1079)),
                   ({"t": "click"}, (3839, 1079)),
                   ({"t": "mv", "dx": -3000, "dy": -500}, (839, 579)),
                   ({"t": "mv", "dx": -5000, "dy": -5000}, (0, 0)), ({"t": "click"}, (0, 0)))

        phone.send({"t": "scroll", "dy": 300, "dx": 200})  # up and left
        self.assertTrue(self.window.wait_for_events("scroll", 3))
        deltas = [[float(v) for v in e.split()] for e in self.window.events("scroll")]
        self.assertTrue(all(dx < 0 and dy < 0 for dx, dy in deltas), deltas)

        self.window.clear()
        for key in ({"name": "Return"}, {"name": "a", "mods": ["cmd", "shift"]},
                    {"name": "End", "mods": ["shift"]}):
            phone.send(dict(key, t="key"))
        self.assertTrue(self.window.wait_for_events("key", 6))
        keys = [e for e in self.window.events("key") if not e.startswith(("Shift", "Control"))]
        self.assertEqual(keys, ["Return 0", "A 5", "End 1"])
        self.window.clear()
        self.type_greeting_and_mixed_text(phone)

    def test_text_arrives_whole_on_the_french_layout(self):
        self.type_greeting_and_mixed_text(self.start(layout="fr"))

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
