import os
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.agent import wait_for
from olvane_e2e.browser import Browser
from olvane_e2e.pulse import PulseAudio
from olvane_e2e.x11_window import RecordingWindow
from olvane_e2e.xvfb import Xvfb

ARTIFACTS = os.environ.get("OLVANE_TEST_ARTIFACTS")
NORM = 65536


class WebPage(AgentTestCase):
    """The page the agent serves, in Chromium on a phone-sized touch screen, driving a real
    X server and a real PulseAudio."""

    def setUp(self):
        self.xvfb = self.started(Xvfb())
        self.window = self.started(RecordingWindow(self.xvfb))
        self.xvfb.run(["xdotool", "mousemove", "100", "100"])
        self.agent = self.make_agent(dry_run=False, env=dict(self.xvfb.env(), OLVANE_NAME="Bureau"))
        self.pulse = self.started(PulseAudio(self.agent))
        self.pulse.set_raw(int(0.4 * NORM))
        self.launch(self.agent)
        self.browser = self.started(Browser())
        self.artifacts = ARTIFACTS or self.agent.workdir
        os.makedirs(self.artifacts, exist_ok=True)

    def screenshot(self, name):
        self.browser.call("screenshot", path=os.path.join(self.artifacts, name))

    def open_and_pair(self):
        url = "http://127.0.0.1:%d/" % self.agent.port
        self.assertEqual(self.browser.call("goto", url=url), 200)
        self.browser.call("waitVisible", selector="#code")
        self.screenshot("web-page-pairing.png")
        self.browser.call("fill", selector="#code", value="1234")
        self.assertTrue(wait_for(lambda: self.browser.call("text", selector="#pair-error")))
        self.browser.call("fill", selector="#code", value="4321")
        self.browser.call("waitVisible", selector="#pad")
        self.assertEqual(self.browser.call("text", selector="#status"), "Connecté")
        self.assertEqual(self.browser.call("text", selector="#computer"), "Bureau")

    def pad_centre(self):
        box = self.browser.call("box", selector="#pad")
        return box["x"] + box["width"] / 2, box["y"] + box["height"] / 2

    def settled_pointer(self):
        """The pointer once the agent's smoothing has brought it to rest."""
        last = [None]

        def still():
            now = self.xvfb.pointer()
            same, last[0] = now == last[0], now
            return now if same else None
        return wait_for(still, interval=0.3)

    def stroke(self, start, end, fingers=1, steps=8):
        """Fingers down at start, moved to end in steps and lifted, side by side 40 px apart."""
        def at(x, y):
            return [(x + 40 * i, y) for i in range(fingers)]
        (x0, y0), (x1, y1) = start, end
        self.browser.touch("touchStart", *at(x0, y0))
        for i in range(1, steps + 1):
            self.browser.touch("touchMove", *at(x0 + (x1 - x0) * i / steps,
                                                y0 + (y1 - y0) * i / steps))
        self.browser.touch("touchEnd")

    def tap(self, fingers=1):
        x, y = self.pad_centre()
        self.browser.touch("touchStart", *[(x + 40 * i, y) for i in range(fingers)])
        self.browser.touch("touchEnd")

    def test_pairs_then_moves_clicks_drags_scrolls_types_and_sets_the_volume(self):
        self.open_and_pair()
        self.assertTrue(wait_for(lambda: self.browser.call("value", selector="#volume") == "40"))
        self.screenshot("web-page.png")

        # A stroke right and down moves the cursor the same way, at least as far.
        x, y = self.pad_centre()
        self.stroke((x - 60, y - 30), (x + 20, y + 10))
        px, py = self.settled_pointer()
        self.assertGreaterEqual(px - 100, 80)
        self.assertAlmostEqual((py - 100) / (px - 100), 0.5, delta=0.05)

        self.window.clear()
        self.tap()
        self.tap(fingers=2)
        self.assertTrue(self.window.wait_for_events("button-release", 2))
        self.assertEqual(self.window.events("button-press"),
                         ["1 %d %d" % (px, py), "3 %d %d" % (px, py)])

        # Held still, then moved: the button stays down along the way.
        self.window.clear()
        self.browser.touch("touchStart", (x, y))
        self.assertTrue(wait_for(
            lambda: self.browser.call("attribute", selector="#pad", name="data-gesture")
            == "holding"))
        for step in range(1, 6):
            self.browser.touch("touchMove", (x + 8 * step, y))
        self.browser.touch("touchEnd")
        self.assertTrue(self.window.wait_for_events("button-release", 1))
        press, release = self.window.events("button-press"), self.window.events("button-release")
        self.assertEqual(press, ["1 %d %d" % (px, py)])
        self.assertGreater(int(release[0].split()[1]), px + 40)

        # Two fingers moving down scroll up, as a phone's page follows the fingers.
        self.window.clear()
        self.stroke((x - 20, y - 100), (x - 20, y + 100), fingers=2)
        self.assertTrue(self.window.wait_for_events("raw-button-release", 3))
        self.assertEqual(set(self.window.events("raw-button-press")), {"4"})

        self.window.clear()
        self.browser.call("type", selector="#typing", text="héllo")
        self.assertEqual(self.window.wait_for_text("héllo"), "héllo")
        self.browser.call("press", selector="#typing", key="Enter")
        self.assertTrue(self.window.wait_for_events("key-release", 6))
        self.assertEqual(self.window.key_presses()[-1], (36, 0))

        self.browser.call("fill", selector="#volume", value="25")
        self.assertTrue(wait_for(lambda: self.pulse.percent() == 25), self.pulse.volumes())
        self.browser.call("click", selector="[data-media=mute]")
        self.assertTrue(wait_for(self.pulse.muted))

    def test_the_next_visit_needs_no_code_until_the_token_is_revoked(self):
        self.open_and_pair()
        self.browser.call("reload")
        self.browser.call("waitVisible", selector="#pad")
        self.assertEqual(self.agent.log_lines().count("Client paired"), 1)

        os.remove(self.agent.token_file)
        self.browser.call("reload")
        self.browser.call("waitVisible", selector="#code")


if __name__ == "__main__":
    unittest.main()
