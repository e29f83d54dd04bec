import tempfile
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.agent import wait_for
from olvane_e2e.dbus import DBusBus
from olvane_e2e.mpris import FakePlayer, Mpv
from olvane_e2e.x11_window import RecordingWindow
from olvane_e2e.xvfb import Xvfb

# X keycodes of the fallback keys and of the marker key.
SPACE, LEFT, RIGHT, ESCAPE = 65, 113, 114, 9


class MediaPlayers(AgentTestCase):
    """"media" commands reaching real players on a private session bus, or the focused
    window of an X server as key presses."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="olvane-media-")
        self.addCleanup(tmp.cleanup)
        self.folder = tmp.name
        self.bus = self.started(DBusBus(self.folder))
        self.xvfb = self.started(Xvfb())
        self.window = self.started(RecordingWindow(self.xvfb))
        self.agent = self.start_agent(
            dry_run=False, env=dict(self.xvfb.env(), DBUS_SESSION_BUS_ADDRESS=self.bus.address))
        self.phone = self.connect_phone(self.agent)

    def mpv(self):
        player = self.started(Mpv(self.folder, self.bus.address))
        self.assertTrue(wait_for(lambda: player.status() == "Playing", 10))
        return player

    def fake(self, player_id, fail=(), hang=()):
        return self.started(FakePlayer(self.folder, self.bus.address, player_id, fail, hang))

    def media(self, name):
        self.phone.send({"t": "media", "name": name})
        # A ping after the command: the command has been handed over by the time it returns.
        self.phone.request({"t": "ping"})

    def keys_then_marker(self):
        """The keys that reached the window before a marker key sent after them."""
        self.phone.send({"t": "key", "name": "escape"})
        self.assertTrue(wait_for(lambda: ESCAPE in [k for k, _ in self.window.key_presses()]))
        keys = [k for k, _ in self.window.key_presses()]
        self.window.clear()
        return keys[:keys.index(ESCAPE)]

    def test_playpause_toggles_mpv_and_next_is_a_key_press_for_it(self):
        mpv = self.mpv()
        self.media("playpause")
        self.assertTrue(wait_for(lambda: mpv.status() == "Paused", 5))
        self.media("PlayPause")
        self.assertTrue(wait_for(lambda: mpv.status() == "Playing", 5))
        track = mpv.track()
        self.media("next")
        self.media("previous")
        self.assertEqual(self.keys_then_marker(), [RIGHT, LEFT])
        self.assertEqual(mpv.track(), track)
        self.assertEqual(mpv.status(), "Playing")

    def test_without_a_player_the_keys_are_pressed(self):
        for name in ("playpause", "next", "previous", "stop"):
            self.media(name)
        self.assertEqual(self.keys_then_marker(), [SPACE, RIGHT, LEFT])

    def test_a_higher_row_takes_precedence_and_gets_its_own_calls(self):
        mpv = self.mpv()
        vlc = self.fake("vlc.instance4242")
        for name in ("playpause", "next", "previous"):
            self.media(name)
        self.assertTrue(wait_for(lambda: len(vlc.calls()) == 3, 5))
        self.assertEqual(vlc.calls(), [["PlayPause"], ["Seek", 10000000], ["Seek", -10000000]])
        self.assertEqual(mpv.status(), "Playing")
        self.assertEqual(self.keys_then_marker(), [])

        lower_row = self.fake("rhythmbox")
        self.media("playpause")
        self.assertTrue(wait_for(lambda: len(vlc.calls()) == 4, 5))
        self.assertEqual(lower_row.calls(), [])

    def test_a_name_in_other_letter_case_is_not_a_known_player(self):
        impostor = self.fake("VLC")
        mpv = self.mpv()
        self.media("playpause")
        self.assertTrue(wait_for(lambda: mpv.status() == "Paused", 5))
        self.assertEqual(impostor.calls(), [])

    def test_a_failed_call_is_logged_once_and_not_followed_by_a_key(self):
        rhythmbox = self.fake("rhythmbox", fail=("Next",))
        self.media("next")
        line = self.agent.wait_for_log("Media MPRIS error: ")
        self.assertEqual(line, "Media MPRIS error: Next refused by the test player")
        self.media("previous")
        self.assertTrue(wait_for(lambda: len(rhythmbox.calls()) == 2, 5))
        self.assertEqual(rhythmbox.calls(), [["Next"], ["Previous"]])
        errors = [l for l in self.agent.log_lines() if l.startswith("Media MPRIS error")]
        self.assertEqual(len(errors), 1)
        self.assertEqual(self.keys_then_marker(), [])

    def test_a_player_killed_while_a_call_waits_for_it_is_logged_and_left_behind(self):
        vlc = self.fake("vlc", hang=("PlayPause",))
        self.media("playpause")
        self.assertTrue(wait_for(lambda: vlc.calls() == [["PlayPause"]], 5))
        self.assertEqual(self.phone.request({"t": "ping"})["t"], "pong")  # not held up
        vlc.kill()
        line = self.agent.wait_for_log("Media MPRIS error: ")
        self.assertTrue(line, self.agent.log())
        self.media("playpause")  # no player any more: the space key
        self.assertEqual(self.keys_then_marker(), [SPACE])


if __name__ == "__main__":
    unittest.main()
