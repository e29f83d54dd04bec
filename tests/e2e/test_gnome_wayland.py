import struct
import tempfile
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.agent import wait_for
from olvane_e2e.gnome import GnomeWayland, GtkWindow

GREETING = "héllo € ñ Ω ж 😀"
# Letters of the layouts and far from them, signs, other scripts and emoji.
MIXED = ("Le cœur a ses raisons, 1234 — Ωμέγα, жизнь; 日本語 😀🎉 naïve façade déjà-vu? "
         "ÀÉÎÕÜ ß ø å æ € £ ¥ © «» „quotes“ <tag> & % $ # @ ! ~ ^ * ( ) [ ] { } | / + = _ ")
MIXED = (MIXED * 3)[:300]


class Gnome(AgentTestCase):
    """The real agent on GNOME's own Wayland stack, headless: it picks the desktop portal by
    itself, a user answers the portal's dialog, and a GTK program records what reaches it."""

    def start(self, layout="us"):
        tmp = tempfile.TemporaryDirectory(prefix="olvane-gnome-")
        self.addCleanup(tmp.cleanup)
        self.stack = self.started(GnomeWayland(tmp.name, layout))
        self.window = self.started(GtkWindow(self.stack))
        env = dict(self.stack.env(), HOME=None)
        self.agent = self.launch(self.make_agent(dry_run=False, env=env))
        self.assertTrue(self.agent.wait_for_log("Input backend: auto chose portal"),
                        self.agent.log())

    def share(self):
        self.assertEqual(self.stack.user.answer(share=True), "done")
        self.assertTrue(self.agent.wait_for_log("RemoteDesktop session started"),
                        self.agent.log())
        phone = self.connect_phone(self.agent, paired=False)
        self.assertEqual(phone.pair("4321")["ax"], True)
        return phone

    def pointer_at(self, x, y):
        self.assertTrue(wait_for(lambda: self.window.pointer() == (x, y)), self.window.pointer())

    def type_greeting_and_mixed_text(self, phone):
        phone.send({"t": "text", "text": GREETING})
        self.assertEqual(self.window.wait_for_text(GREETING), GREETING)
        phone.send({"t": "text", "text": MIXED})
        self.assertEqual(self.window.wait_for_text(GREETING + MIXED), GREETING + MIXED)

    def test_moves_clicks_scrolls_keys_and_text_reach_a_gtk_program_on_two_displays(self):
        self.start()
        phone = self.share()
        # Beyond the top left corner, then by what the phone sent.
        phone.send({"t": "mv", "dx": -5000, "dy": -5000})
        self.pointer_at(0, 0)
        phone.send({"t": "click"})  # on the text field; posts what is left of the move first
        phone.send({"t": "mv", "dx": 100, "dy": 50})
        self.pointer_at(100, 50)

        self.window.clear()
        phone.send({"t": "click"})
        phone.send({"t": "click", "right": True})
        phone.send({"t": "drag", "down": True})
        phone.send({"t": "mv", "dx": 200, "dy": 100})
        phone.send({"t": "drag", "down": False})
        self.assertTrue(self.window.wait_for_events("release", 3))
        self.assertEqual(self.window.events("press"), ["1 100 50", "3 100 50", "1 100 50"])
        self.assertEqual(self.window.events("release"), ["1 100 50", "3 100 50", "1 300 150"])

        # Across to the second display, beyond its far corner, back to the first display and
        # beyond its corner: the pointer stays on the displays.
        phone.send(struct.pack("<Bff", 1, 2400, -40))
        self.pointer_at(2700, 110)
        phone.send({"t": "mv", "dx": 5000, "dy": 5000})
        self.pointer_at(3839, 1079)
        phone.send({"t": "click"})  # posts what is left of the move first
        phone.send({"t": "mv", "dx": -3000, "dy": -500})
        self.pointer_at(839, 579)
        phone.send({"t": "mv", "dx": -5000, "dy": -5000})
        self.pointer_at(0, 0)
        phone.send({"t": "click"})  # the text field, in the first display's window, again

        phone.send({"t": "scroll", "dy": 300, "dx": 200})  # up and left
        self.assertTrue(self.window.wait_for_events("scroll", 3))
        deltas = [[float(v) for v in e.split()] for e in self.window.events("scroll")]
        self.assertTrue(all(dx < 0 and dy < 0 for dx, dy in deltas), deltas)

        self.window.clear()
        phone.send({"t": "key", "name": "Return"})
        phone.send({"t": "key", "name": "a", "mods": ["cmd", "shift"]})
        phone.send({"t": "key", "name": "End", "mods": ["shift"]})
        self.assertTrue(self.window.wait_for_events("key", 6))
        keys = [e for e in self.window.events("key") if not e.startswith(("Shift", "Control"))]
        self.assertEqual(keys, ["Return 0", "A 5", "End 1"])

        self.type_greeting_and_mixed_text(phone)

    def test_text_arrives_whole_on_the_french_layout(self):
        self.start(layout="fr")
        phone = self.share()
        self.type_greeting_and_mixed_text(phone)

    def test_a_refused_dialog_leaves_ax_false_with_one_log_line(self):
        self.start()
        self.assertEqual(self.stack.user.answer(share=False), "done")
        refused = "Input: remote control was refused on the desktop"
        self.assertTrue(self.agent.wait_for_log(refused), self.agent.log())
        phone = self.connect_phone(self.agent, paired=False)
        self.assertEqual(phone.pair("4321")["ax"], False)
        phone.send({"t": "text", "text": "lost"})
        phone.send({"t": "mv", "dx": 5})
        self.assertEqual(phone.request({"t": "ping"}), {"t": "pong", "ax": False})
        self.assertEqual(self.window.text(), "")
        input_lines = [l for l in self.agent.log_lines() if l.startswith("Input:")]
        self.assertEqual(input_lines.count(refused), 1, input_lines)


if __name__ == "__main__":
    unittest.main()
