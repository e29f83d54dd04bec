import os
import signal
import time
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.agent import wait_for
from olvane_e2e.browser import Browser
from olvane_e2e.pulse import PulseAudio
from olvane_e2e.x11_window import RecordingWindow
from olvane_e2e.xvfb import Xvfb

ARTIFACTS = os.environ.get("OLVANE_TEST_ARTIFACTS")
NORM = 65536
PHONES = [(320, 568), (360, 740), (412, 915)]
# Whether the page scrolls, which visible controls are under 44 px, whether the pad is left
# of the controls.
LAYOUT = """(() => {
  const box = (e) => e.getBoundingClientRect();
  const small = [...document.querySelectorAll('button, input')]
    .filter((e) => e.offsetParent && (box(e).width < 44 || box(e).height < 44))
    .map((e) => e.getAttribute('aria-label') || e.textContent.trim());
  const root = document.scrollingElement;
  return { scrolls: root.scrollHeight > innerHeight || root.scrollWidth > innerWidth, small,
           sideBySide: box(document.getElementById('pad')).right
                       <= box(document.querySelector('.controls')).left };
})()"""


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

    def text(self, selector):
        return self.browser.call("text", selector=selector)

    def wait_text(self, selector, text, timeout=10):
        return wait_for(lambda: text in self.text(selector), timeout)

    def open(self, fragment=""):
        url = "http://127.0.0.1:%d/%s" % (self.agent.port, fragment)
        self.assertEqual(self.browser.call("goto", url=url), 200)

    def open_and_pair(self):
        self.open()
        self.browser.call("waitVisible", selector="#code")
        self.browser.call("fill", selector="#code", value="4321")
        self.browser.call("waitVisible", selector="#pad")
        self.assertEqual(self.text("#status"), "Connecté")

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

    def stroke(self, start, end, fingers=1, steps=8, step_ms=16, rest_ms=0):
        """Fingers down at start, moved to end in steps and lifted, side by side 40 px apart."""
        def at(x, y):
            return [(x + 40 * i, y) for i in range(fingers)]
        (x0, y0), (x1, y1) = start, end
        moves = [("touchMove", at(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps),
                  step_ms) for i in range(1, steps + 1)]
        self.browser.touches(("touchStart", at(x0, y0), rest_ms), *moves, ("touchEnd", [], 0))

    def tap(self, fingers=1):
        x, y = self.pad_centre()
        self.browser.touches(("touchStart", [(x + 40 * i, y) for i in range(fingers)], 0),
                             ("touchEnd", [], 0))

    def pointer_travel(self, sensitivity):
        self.browser.call("tap", selector="#open-settings")
        self.browser.call("fill", selector="#sensitivity", value=str(sensitivity))
        self.browser.call("tap", selector="#settings .primary")
        start = self.xvfb.pointer()
        x, y = self.pad_centre()
        self.stroke((x - 20, y), (x + 20, y))
        return self.settled_pointer()[0] - start[0]

    def test_pairs_then_moves_clicks_drags_scrolls_types_and_sets_the_volume(self):
        self.open_and_pair()
        self.assertTrue(wait_for(lambda: self.browser.call("value", selector="#volume") == "40"))
        self.screenshot("web-page.png")

        # A finger that rests before it slides only moves the cursor, the same way, further.
        x, y = self.pad_centre()
        self.stroke((x - 60, y - 30), (x + 20, y + 10), rest_ms=500)
        px, py = self.settled_pointer()
        self.assertGreaterEqual(px - 100, 80)
        self.assertAlmostEqual((py - 100) / (px - 100), 0.5, delta=0.05)
        self.assertEqual(self.window.events("button-press"), [])

        self.tap()
        self.tap(fingers=2)
        self.assertTrue(self.window.wait_for_events("button-release", 2))
        self.assertEqual(self.window.events("button-press"),
                         ["1 %d %d" % (px, py), "3 %d %d" % (px, py)])

        # Tap, then touch again and slide: the button stays down along the way, and while the
        # finger is lifted and put back to go on.
        self.window.clear()
        slide = [("touchMove", [(x + 8 * step, y)], 16) for step in range(1, 6)]
        self.browser.touches(("touchStart", [(x, y)], 0), ("touchEnd", [], 50),
                             ("touchStart", [(x, y)], 250), *slide, ("touchEnd", [], 200),
                             ("touchStart", [(x, y)], 0), *slide, ("touchEnd", [], 0))
        self.assertTrue(self.window.wait_for_events("button-release", 2))
        press, release = self.window.events("button-press"), self.window.events("button-release")
        self.assertEqual(press, ["1 %d %d" % (px, py)] * 2)
        self.assertEqual(release[1], "1 %d %d" % self.settled_pointer())

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

        # The keys leave the focus in the field; a sticky Ctrl makes the next letter a shortcut.
        self.window.clear()
        self.browser.call("tap", selector="[data-key=left]")
        self.assertEqual(self.browser.evaluate("document.activeElement.id"), "typing")
        self.browser.call("tap", selector="[data-mod=ctrl]")
        self.browser.call("type", selector="#typing", text="c")
        self.assertTrue(self.window.wait_for_events("key-release", 3))
        self.assertEqual(self.window.key_presses(), [(113, 0), (37, 0), (54, 4)])
        self.assertEqual(self.browser.call("value", selector="#typing"), "")
        self.assertEqual(self.browser.call("attribute", selector="[data-mod=ctrl]",
                                           name="aria-pressed"), "false")

        self.browser.call("fill", selector="#volume", value="25")
        self.assertTrue(wait_for(lambda: self.pulse.percent() == 25), self.pulse.volumes())
        self.browser.call("tap", selector="#mute")
        self.assertTrue(wait_for(self.pulse.muted))
        self.assertTrue(wait_for(lambda: self.browser.call(
            "attribute", selector="#mute", name="aria-pressed") == "true"))

        # The speed setting scales the cursor's travel, and stays for the next visit; at the
        # default one flick across the pad crosses the whole screen.
        slow, fast = self.pointer_travel(1), self.pointer_travel(9)
        self.assertGreater(fast, 2.5 * slow, (slow, fast))
        self.browser.call("reload")
        self.assertEqual(self.browser.call("value", selector="#sensitivity"), "9")
        self.pointer_travel(5)
        self.xvfb.run(["xdotool", "mousemove", "0", "500"])
        box = self.browser.call("box", selector="#pad")
        self.stroke((box["x"] + 10, y), (box["x"] + box["width"] - 10, y), step_ms=8)
        self.assertEqual(self.settled_pointer()[0], 1919)

        for width, height in PHONES + [(h, w) for w, h in PHONES]:
            self.browser.call("viewport", width=width, height=height)
            layout = self.browser.evaluate(LAYOUT)
            self.assertEqual((layout["scrolls"], layout["small"], layout["sideBySide"]),
                             (False, [], width > height), (width, height))
        self.browser.call("viewport", width=740, height=360)
        self.screenshot("web-page-landscape.png")

    def test_wrong_codes_count_down_the_lockout_with_the_computer_named(self):
        self.open()
        self.assertTrue(self.wait_text("#computer", "Bureau"))
        for code in ["12 34", "1111", "2222", "3333", "4444"]:  # spaces are not part of a code
            self.browser.call("fill", selector="#code", value=code)
            self.assertTrue(wait_for(lambda: self.text("#pair-error")))
        self.assertTrue(self.wait_text("#pair-error", "Trop d’essais"))
        self.assertEqual(self.agent.log_lines().count("Bad pairing code attempt"), 5)
        first = self.text("#pair-form button")
        self.assertRegex(first, r"^Réessaie dans (29|30) s$")
        self.assertTrue(wait_for(lambda: self.text("#pair-form button") != first))
        self.assertTrue(self.browser.evaluate("document.getElementById('code').disabled"))

    def test_the_qr_link_pairs_at_once_and_the_next_visit_needs_no_code_until_revoked(self):
        self.open("#code=4321")
        self.browser.call("waitVisible", selector="#pad")
        self.assertEqual(self.browser.evaluate("location.hash"), "")
        self.browser.call("reload")
        self.browser.call("waitVisible", selector="#pad")
        self.assertEqual(self.agent.log_lines().count("Client paired"), 1)

        os.remove(self.agent.token_file)
        self.browser.call("reload")
        self.browser.call("waitVisible", selector="#code")

    def test_a_frozen_computer_shows_offline_at_once_and_gets_what_was_typed_meanwhile(self):
        self.open_and_pair()
        self.window.clear()
        self.agent.process.send_signal(signal.SIGSTOP)
        frozen = time.monotonic()
        try:
            self.assertTrue(self.wait_text("#status", "Hors ligne"))
            self.assertLess(time.monotonic() - frozen, 5)
            self.assertTrue(self.browser.evaluate("document.getElementById('mute').disabled"))
            self.browser.call("type", selector="#typing", text="ok")
            self.assertTrue(self.wait_text("#notice", "partira au retour"))
        finally:
            self.agent.process.send_signal(signal.SIGCONT)
        self.assertTrue(self.wait_text("#status", "Connecté", timeout=20))
        self.assertEqual(self.window.wait_for_text("ok"), "ok")
        self.assertTrue(self.browser.evaluate("document.getElementById('notice').hidden"))


if __name__ == "__main__":
    unittest.main()
