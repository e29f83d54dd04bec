
from olvane_e2e import AgentTestCase, wait_for
from olvane_e2e.dbus import DBusBus
from olvane_e2e.mpris import Mpv
from olvane_e2e.stand_in import StandIn
from olvane_e2e.x11_window import RecordingWindow
from olvane_e2e.xvfb import Xvfb

# X keycodes of the fallback keys and of the marker key.
SPACE, LEFT, RIGHT, ESCAPE = 65, 113, 114, 9


class MediaPlayers(AgentTestCase):
    """"media" commands reaching real players on a private session bus, or the focused
    window of an X server as key presses."""

    def setUp(self):
        self.bus = self.started(DBusBus(self.folder()))
        self.xvfb = self.started(Xvfb())
        self.window = self.started(RecordingWindow(self.xvfb))
        self.agent = self.start_agent(
            dry_run=False, env=dict(self.xvfb.env(), DBUS_SESSION_BUS_ADDRESS=self.bus.address))
        self.phone = self.connect_phone(self.agent)

    def player(self, name, *options):
        """A player of ours under that name, which prints the calls it gets."""
        return self.started(StandIn("fake_player", self.bus.address, "--name", name, *options))

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
        mpv = self.started(Mpv(self.folder(), self.bus.address))
        self.media("playpause")
        self.assertTrue(wait_for(lambda: mpv.status() == "Paused"))
        self.media("PlayPause")
        self.assertTrue(wait_for(lambda: mpv.status() == "Playing"))
        track = mpv.track()
        self.media("next", "previous")
        self.assertEqual(self.keys_then_marker(), [RIGHT, LEFT])
        self.assertEqual((mpv.track(), mpv.status()), (track, "Playing"))

    def test_the_player_of_the_highest_row_gets_its_own_calls(self):
        vlc, rhythmbox = self.player("vlc.instance4242"), self.player("rhythmbox")
        self.media("playpause", "next", "previous")
        self.assertTrue(wait_for(lambda: len(vlc.calls()) == 3))
        self.assertEqual(vlc.calls(), [["PlayPause"], ["Seek", 10000000], ["Seek", -10000000]])
        self.assertEqual((rhythmbox.calls(), self.keys_then_marker()), ([], []))

    def test_a_failed_or_abandoned_call_is_logged_and_neither_passed_on_nor_waited_for(self):
        rhythmbox = self.player("rhythmbox", "--fail", "Next", "--hang", "PlayPause")
        self.media("next", "previous", "playpause")
        self.assertTrue(wait_for(lambda: len(rhythmbox.calls()) == 3))
        self.assertEqual(rhythmbox.calls(), [["Next"], ["Previous"], ["PlayPause"]])
        errors = lambda: [l for l in self.agent.log_lines() if l.startswith("Media MPRIS error: ")]
        self.assertEqual(wait_for(errors), ["Media MPRIS error: Next refused by the test player"])
        rhythmbox.kill()  # while its PlayPause waits
        self.assertTrue(wait_for(lambda: len(errors()) == 2), self.agent.log())
        # No player any more: keys, and none before.
        self.media("playpause", "next", "previous", "stop")
        self.assertEqual(self.keys_then_marker(), [SPACE, RIGHT, LEFT])

