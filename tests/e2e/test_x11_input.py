# SPDX-License-Identifier: GPL-3.0-or-later
import os
import random
import signal
import subprocess

from olvane_e2e import (AgentTestCase, ChildProcess, DBusBus, RecordingWindow, TextField, Xvfb,
                        stand_in, wait_for)

# X keycodes of the media fallback keys and of the marker key.
SPACE, LEFT, RIGHT, ESCAPE = 65, 113, 114, 9


class X11Session(AgentTestCase):
    """A phone's keys and media commands through the real agent on an X server and a session
    bus (the page test moves, clicks and scrolls there)."""

    def setUp(self):
        self.bus = self.started(DBusBus(self.folder()))
        self.xvfb = self.started(Xvfb())
        self.window = self.started(RecordingWindow(self.xvfb))
        self.agent = self.start_agent(
            dry_run=False, env=dict(self.xvfb.env(), DBUS_SESSION_BUS_ADDRESS=self.bus.address))
        # The start line waits for XTEST's answer.
        self.assertIn("Olvane started. code: 4321  ax: true", self.agent.log_lines())
        self.phone = self.connect_phone(self.agent)

    def test_named_keys_reach_a_window_and_a_killed_x_server_is_used_again_once_back(self):
        for key in ({"name": "Return"}, {"name": "a", "mods": ["cmd", "shift"]},
                    {"name": "left", "mods": ["super", "opt"]}):
            self.phone.send(dict(key, t="key"))
        self.assertTrue(self.window.wait_for_events("key-release", 7))
        self.assertEqual(self.window.key_presses(),
                         [(36, 0), (37, 0), (50, 4), (38, 5), (64, 0), (133, 8), (113, 72)])

        self.xvfb.kill()
        self.assertTrue(self.agent.wait_for_log("X11: lost the connection to display"))
        self.assert_input_dropped(self.phone)
        self.xvfb.start()  # the same display number
        self.assertTrue(self.agent.wait_for_log("Input: connected again to X11 display " +
                                                self.xvfb.display), self.agent.log())
        self.assertEqual(self.phone.request({"t": "ping"}), {"t": "pong", "ax": True})
        self.xvfb.run(["xdotool", "mousemove", "300", "200"])
        self.phone.send({"t": "mv", "dx": 40, "dy": 10})
        self.assertTrue(wait_for(lambda: self.xvfb.pointer() == (340, 210)), self.xvfb.pointer())

    def playerctl(self, *args):
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.bus.address)
        return subprocess.run(["playerctl", "-p", "mpv", *args], env=env, capture_output=True,
                              text=True).stdout

    def player(self, name, *options):
        return self.started(stand_in("fake_player", self.bus.address, "--name", name, *options))

    def media(self, *names):
        for name in names:
            self.phone.send({"t": "media", "name": name})
        # A ping after the commands: they have been handed over by the time it returns.
        self.phone.request({"t": "ping"})

    def keys_then_marker(self):
        """The keys that reached the window before a marker key sent after them."""
        self.phone.send({"t": "key", "name": "escape"})
        self.assertTrue(wait_for(lambda: ESCAPE in [k for k, _ in self.window.key_presses()]))
        keys = [k for k, _ in self.window.key_presses()]
        self.window.clear()
        return keys[:keys.index(ESCAPE)]

    def test_playpause_toggles_mpv_and_next_is_a_key_press_for_it(self):
        self.started(ChildProcess(
            ["mpv", "--no-config", "--script=/usr/lib/mpv-mpris/mpris.so", "--no-video",
             "--ao=null", "--idle=yes", "--loop-playlist=inf", "--no-terminal",
             "av://lavfi:sine=f=300:d=3", "av://lavfi:sine=f=400:d=3"],
            lambda: self.playerctl("status") == "Playing\n",
            env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.bus.address, DISPLAY="")))
        for name, status in [("playpause", "Paused\n"), ("PlayPause", "Playing\n")]:
            self.media(name)
            self.assertTrue(wait_for(lambda: self.playerctl("status") == status))
        track = self.playerctl("metadata", "xesam:url")
        self.media("next", "previous")
        self.assertEqual(self.keys_then_marker(), [RIGHT, LEFT])
        self.assertEqual(self.playerctl("metadata", "xesam:url"), track)

    def test_the_highest_row_is_called_then_the_next_then_keys_and_failures_are_only_logged(self):
        vlc = self.player("vlc.instance4242", "--fail", "Seek", "--hang", "PlayPause")
        rhythmbox = self.player("rhythmbox", "--hang", "Previous")
        errors = lambda: [l for l in self.agent.log_lines() if l.startswith("Media MPRIS error: ")]
        # A call that hangs is not waited for; one that fails is not passed on.
        self.media("playpause", "next", "previous")
        self.assertTrue(wait_for(lambda: len(errors()) == 2))
        self.assertEqual(errors(), ["Media MPRIS error: Seek refused by the test player"] * 2)
        self.assertEqual(vlc.calls(), [["PlayPause"], ["Seek", 10000000], ["Seek", -10000000]])
        self.assertEqual((rhythmbox.calls(), self.keys_then_marker()), ([], []))
        # A player killed while a call waits for it leaves the next commands to the next row.
        vlc.kill()
        self.assertTrue(wait_for(lambda: len(errors()) == 3), self.agent.log())
        self.media("playpause", "next", "previous")
        self.assertTrue(wait_for(lambda: len(rhythmbox.calls()) == 3))
        self.assertEqual(rhythmbox.calls(), [["PlayPause"], ["Next"], ["Previous"]])
        rhythmbox.kill()
        self.assertTrue(wait_for(lambda: len(errors()) == 4), self.agent.log())
        self.media("playpause", "next", "previous", "stop")
        self.assertEqual(self.keys_then_marker(), [SPACE, RIGHT, LEFT])


class ToolkitFields(AgentTestCase):
    """Texts typed into Tk and GTK 3 entries on the us layout, then on fr and on us,ru (the agent
    follows)."""

    # On both layouts, at one level or another.
    ASCII = "abcdefghijklmnopqrstuvwxyz ABCXYZ 0123456789 ,.;:!?'\"-_()[]@#$%&*+=/\\|~^`<>"
    # Accents, the euro, Greek, Cyrillic, symbols: mostly lent spare keys, fewer than there are.
    OTHERS = "éüñßø€αλΩπжЯд…«¿"
    # More characters than the four levels of every spare key hold: levels are lent again.
    LOWER = "αβγδεζηθικλμνξοπρστυφχψωабвгдеёжзийклмнопрстуфхцчшщъыьэюя"
    ALPHABETS = LOWER + LOWER.upper()

    def test_every_character_of_every_text_arrives_on_american_french_and_two_group_layouts(self):
        xvfb = self.started(Xvfb())
        phone = self.connect_phone(self.start_agent(dry_run=False, env=xvfb.env()))
        cases = [(layout, toolkit) for layout in ("us", "fr", "us,ru") for toolkit in ("tk", "gtk")]
        for seed, (layout, toolkit) in enumerate(cases):
            with self.subTest(layout=layout, toolkit=toolkit):
                xvfb.run(["setxkbmap", layout])
                field = self.started(TextField(toolkit, xvfb.env()))
                rng = random.Random(seed)
                texts = ["".join(rng.choice(self.OTHERS if rng.random() < 0.4 else self.ASCII)
                                 for _ in range(rng.randint(3, 30))) + "\n" for _ in range(50)]
                texts[25:25] = ["".join(rng.sample(self.ALPHABETS * 3, 300)) + "\n"] * 2
                for text in texts:
                    phone.send({"t": "text", "text": text})
                # A key named by a character its layout gives only with AltGr, or not at all.
                phone.send({"t": "key", "name": "€"})
                expected = "".join(texts) + "€"
                self.assertEqual(field.wait_for_text(expected), expected)
                field.stop()


class Teardown(AgentTestCase):
    def test_a_sigterm_while_the_agent_shuts_down_still_ends_it(self):
        xvfb = self.started(Xvfb())
        agent = self.make_agent(env=xvfb.env()).start()
        # Its last request to a server that no longer answers holds the agent up.
        xvfb.process.send_signal(signal.SIGSTOP)
        self.addCleanup(xvfb.process.send_signal, signal.SIGCONT)
        agent.process.terminate()
        self.assertTrue(agent.wait_for_log("Olvane stopped."), agent.log())
        agent.process.terminate()
        self.assertEqual(agent.process.wait(30), -signal.SIGTERM, agent.log())
