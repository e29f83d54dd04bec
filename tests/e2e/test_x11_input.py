import random
import struct

from olvane_e2e import AgentTestCase, wait_for
from olvane_e2e.x11_window import RecordingWindow, TextField
from olvane_e2e.xvfb import Xvfb


class X11Input(AgentTestCase):
    """The real agent on an X server: a phone's commands reach the cursor and a window."""

    def setUp(self):
        self.xvfb = self.started(Xvfb())
        self.window = self.started(RecordingWindow(self.xvfb))
        self.xvfb.run(["xdotool", "mousemove", "100", "100"])
        self.agent = self.start_agent(dry_run=False, env=self.xvfb.env())
        self.phone = self.connect_phone(self.agent, paired=False)
        self.assertEqual(self.phone.pair("4321")["ax"], True)

    def pointer_reaches(self, x, y):
        self.assertTrue(wait_for(lambda: self.xvfb.pointer() == (x, y)), self.xvfb.pointer())

    def test_moves_clicks_scrolls_keys_and_text_reach_the_desktop(self):
        self.phone.send({"t": "mv", "dx": 50, "dy": 20})
        self.pointer_reaches(150, 120)
        self.phone.send(struct.pack("<Bff", 1, -30.0, 10.0))
        self.pointer_reaches(120, 130)

        self.phone.send({"t": "click"})
        self.phone.send({"t": "click", "right": True, "count": 2})
        self.assertTrue(self.window.wait_for_events("button-release", 2))
        self.assertEqual(self.window.events("button-press"), ["1 120 130", "3 120 130"])
        self.phone.send({"t": "scroll", "dy": 400})
        self.assertTrue(self.window.wait_for_events("raw-button-release", 2 + 7))
        self.assertEqual(set(self.window.events("raw-button-press")[2:]), {"4"})

        self.window.clear()
        self.phone.send({"t": "key", "name": "Return"})
        self.phone.send({"t": "key", "name": "a", "mods": ["cmd", "shift"]})
        self.phone.send({"t": "key", "name": "left", "mods": ["super", "opt"]})
        self.assertTrue(self.window.wait_for_events("key-release", 7))
        self.assertEqual(self.window.key_presses(),
                         [(36, 0), (37, 0), (50, 4), (38, 5), (64, 0), (133, 8), (113, 72)])
        self.window.clear()
        text = "Héllo, wörld: 12 € 😀"
        self.phone.send({"t": "text", "text": text})
        self.assertEqual(self.window.wait_for_text(text), text)


class ToolkitFields(AgentTestCase):
    """Texts typed by the real agent into Tk and GTK 3 entries, one after another, on the
    American layout, then on the French one that the running agent follows."""

    # On both layouts, at one level or another.
    ASCII = "abcdefghijklmnopqrstuvwxyz ABCXYZ 0123456789 ,.;:!?'\"-_()[]@#$%&*+=/\\|~^`<>"
    # Accents, the euro, Greek, Cyrillic, symbols: mostly lent spare keys, fewer than there are.
    OTHERS = "éüñßø€αλΩπжЯд…«¿"
    # More characters than there are spare keys: some keys are lent again on the way.
    ALPHABETS = "αβγδεζηθικλμνξοπρστυφχψω абвгдеёжзийклмнопрстуфхцчшщъыьэюя"

    def test_every_character_of_every_text_arrives_on_american_and_french_layouts(self):
        xvfb = self.started(Xvfb())
        phone = self.connect_phone(self.start_agent(dry_run=False, env=xvfb.env()))
        for seed, (layout, toolkit) in enumerate([("us", "tk"), ("us", "gtk"), ("fr", "tk"),
                                                  ("fr", "gtk")]):
            with self.subTest(layout=layout, toolkit=toolkit):
                xvfb.run(["setxkbmap", layout])
                field = self.started(TextField(toolkit, xvfb.env()))
                rng = random.Random(seed)
                texts = ["".join(rng.choice(self.OTHERS if rng.random() < 0.4 else self.ASCII)
                                 for _ in range(rng.randint(3, 30))) + "\n" for _ in range(50)]
                texts[25] = self.ALPHABETS + "\n"
                for text in texts:
                    phone.send({"t": "text", "text": text})
                self.assertEqual(field.wait_for_text("".join(texts)), "".join(texts))
                field.stop()


class X11ServerLoss(AgentTestCase):
    """No X server, or one that goes away: "ax" turns false and the agent serves on."""

    def test_an_unreachable_display_gives_ax_false(self):
        agent = self.start_agent(dry_run=False, env={"DISPLAY": ":65000"})
        self.assertIn("Olvane started. code: 4321  ax: false", agent.log_lines())
        self.assert_input_dropped(self.connect_phone(agent))

    def test_a_server_killed_and_started_again_is_used_again(self):
        xvfb = self.started(Xvfb())
        agent = self.start_agent(dry_run=False, env=xvfb.env())
        phone = self.connect_phone(agent)
        xvfb.kill()
        self.assertTrue(agent.wait_for_log("X11: lost the connection to display"), agent.log())
        phone.send({"t": "key", "name": "a"})
        self.assert_input_dropped(phone)
        xvfb.start()  # the same display number
        self.assertTrue(agent.wait_for_log("Input: connected again to X11 display " +
                                           xvfb.display), agent.log())
        self.assertEqual(phone.request({"t": "ping"}), {"t": "pong", "ax": True})
        xvfb.run(["xdotool", "mousemove", "300", "200"])
        phone.send({"t": "mv", "dx": 40, "dy": 10})
        self.assertTrue(wait_for(lambda: xvfb.pointer() == (340, 210)), xvfb.pointer())

