# SPDX-License-Identifier: GPL-3.0-or-later
import gzip
import os
import signal
import time
import unittest
import urllib.request

from olvane_e2e import AgentTestCase, wait_for
from olvane_e2e.browser import Browser
from olvane_e2e.pulse import PulseAudio
from olvane_e2e.x11_window import RecordingWindow, TextField
from olvane_e2e.xvfb import Xvfb

# The last one, turned to landscape, is the screenshot in docs/using.md.
RED, GREEN = "rgb(198, 47, 40)", "rgb(30, 158, 70)"  # of the light theme
PHONES = [(320, 568), (412, 915), (390, 844), (360, 740)]
# What is wrong with the layout: whether the page scrolls; which visible controls are under
# 44 px, outside the screen or covered, or have edges under 3:1 against what is behind them;
# which texts are under 14 px. And whether the pad is left of the controls.
LAYOUT = """(() => {
  const box = (e) => e.getBoundingClientRect();
  const shown = (s) => [...document.querySelectorAll(s)].filter((e) => e.offsetParent);
  const name = (e) => e.getAttribute('aria-label') || e.textContent.trim();
  const seen = (e, r = box(e)) => r.left >= 0 && r.top >= 0 && r.right <= innerWidth &&
    r.bottom <= innerHeight && e.contains(document.elementFromPoint(r.x + r.width / 2, r.y + r.height / 2));
  const light = (color) => color.match(/[\\d.]+/g).slice(0, 3).map((v) => v / 255)
    .map((v) => (v <= 0.04045 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4))
    .reduce((sum, v, i) => sum + v * [0.2126, 0.7152, 0.0722][i], 0.05);
  const contrast = (a, b) => Math.max(light(a), light(b)) / Math.min(light(a), light(b));
  const behind = (e) => {
    while ((e = e.parentElement) && getComputedStyle(e).backgroundColor === 'rgba(0, 0, 0, 0)');
    return getComputedStyle(e).backgroundColor;
  };
  const root = document.scrollingElement;
  return { scrolls: root.scrollHeight > innerHeight || root.scrollWidth > innerWidth,
           small: shown('button, input').filter((e) => box(e).width < 44 || box(e).height < 44)
             .concat(shown('p, span').filter((e) => parseFloat(getComputedStyle(e).fontSize) < 14))
             .map(name),
           hidden: shown('button, input').filter((e) => !seen(e)).map(name),
           faint: shown('button, #typing, #pad').filter((e) =>
             contrast(getComputedStyle(e).borderTopColor, behind(e)) < 3).map(name),
           sideBySide: box(document.getElementById('pad')).right
                       <= box(document.querySelector('.controls')).left };
})()"""

# The link as shown: the status and its dot's colour, whether the banner is hidden, the pad's
# opacity and whether the keys are disabled.
LINK = """(() => {
  const [status, notice, pad] = ['status', 'notice', 'pad'].map((id) => document.getElementById(id));
  return [status.textContent, getComputedStyle(status, '::before').color, notice.hidden,
          getComputedStyle(pad).opacity, document.querySelector('[data-key=left]').disabled];
})()"""
# Each socket the page opens or sees closed, at the page's time in ms; then how long the page
# waited after each close before it opened the next one.
SOCKETS = """window.sockets = [];
window.WebSocket = class extends WebSocket {
  constructor(url) {
    super(url).addEventListener('close', () => sockets.push(['close', performance.now()]));
    sockets.push(['open', performance.now()]);
  }
};"""
RETRY_WAITS = "sockets.flatMap(([kind, at], i) => (kind === 'open' && i ? [at - sockets[i - 1][1]] : []))"


class WebPage(AgentTestCase):
    """The page the agent serves, in Chromium on a phone-sized touch screen, driving a real
    X server and a real PulseAudio."""

    maxDiff = None

    def setUp(self):
        self.xvfb = self.started(Xvfb())
        self.window = self.started(RecordingWindow(self.xvfb))
        self.xvfb.run(["xdotool", "mousemove", "100", "100"])
        self.agent = self.make_agent(dry_run=False, env=dict(self.xvfb.env(), OLVANE_NAME="Bureau"))
        self.pulse = self.started(PulseAudio(self.agent))
        self.pulse.set_raw(26214)  # 40 %
        self.launch(self.agent)
        self.browser = self.started(Browser(self.folder()))

    def open(self, fragment=""):
        self.browser.page("goto", "http://127.0.0.1:%d/%s" % (self.agent.port, fragment))

    def wait_text(self, selector, text, timeout=10):
        return wait_for(lambda: text in self.browser.on(selector, "textContent"), timeout)

    def screenshot(self, name):
        folder = os.environ.get("OLVANE_TEST_ARTIFACTS", self.agent.workdir)
        self.browser.page("screenshot", {"path": os.path.join(folder, name)})

    def record_sent(self):
        """From now on the page's WebSocket messages gather in window.sent."""
        self.browser.page("evaluate", "window.sent = []; const send = WebSocket.prototype.send; "
                          "WebSocket.prototype.send = function (m) { sent.push(m); "
                          "return send.call(this, m); }")

    def settled_pointer(self):
        """The pointer once the agent's smoothing has brought it to rest."""
        seen = [None]

        def still():
            seen.append(self.xvfb.pointer())
            return seen[-1] == seen[-2] and seen[-1]
        return wait_for(still, interval=0.3)

    def stroke(self, start, end, fingers=1, steps=8, rest_ms=0):
        """Fingers down at start side by side 40 px apart, moved to end in steps, lifted."""
        def at(t):
            return [(start[0] + (end[0] - start[0]) * t + 40 * i,
                     start[1] + (end[1] - start[1]) * t) for i in range(fingers)]
        moves = [("touchMove", at(i / steps), 16) for i in range(1, steps + 1)]
        self.browser.touches(("touchStart", at(0), rest_ms), *moves, ("touchEnd", [], 0))

    def pointer_travel(self, sensitivity, x, y):
        self.browser.on("#open-settings", "tap")
        self.browser.on("#sensitivity", "fill", str(sensitivity))
        self.browser.on("#settings .primary", "tap")
        start = self.xvfb.pointer()
        self.stroke((x - 20, y), (x + 20, y))
        return self.settled_pointer()[0] - start[0]

    def test_pairs_then_moves_clicks_drags_scrolls_types_and_sets_volume_and_speed(self):
        self.open()
        self.browser.page("emulateMedia", {"colorScheme": "dark"})
        self.browser.on("#code", "fill", "4321")
        self.assertTrue(wait_for(lambda: self.browser.on("#volume", "inputValue") == "40"))
        self.screenshot("web-page.png")

        # A finger that rests before it slides only moves the cursor, the same way, further.
        box = self.browser.on("#pad", "boundingBox")
        x, y = box["x"] + box["width"] / 2, box["y"] + box["height"] / 2
        self.stroke((x - 60, y - 30), (x + 20, y + 10), rest_ms=500)
        px, py = self.settled_pointer()
        self.assertGreaterEqual(px - 100, 80)
        self.assertAlmostEqual((py - 100) / (px - 100), 0.5, delta=0.05)
        self.stroke((x, y), (x, y), steps=0)
        self.stroke((x, y), (x, y), fingers=2, steps=0)
        self.assertTrue(self.window.wait_for_events("button-release", 2))
        self.assertEqual(self.window.events("button-press"),
                         ["1 %d %d" % (px, py), "3 %d %d" % (px, py)])

        # Tap, then touch again and slide: the button stays down along the way.
        self.window.clear()
        self.stroke((x, y), (x, y), steps=0)
        self.stroke((x, y), (x + 40, y), steps=5, rest_ms=250)
        self.assertTrue(self.window.wait_for_events("button-release", 2))
        self.assertEqual(self.window.events("button-press"), ["1 %d %d" % (px, py)] * 2)
        self.assertEqual(self.window.events("button-release")[1],
                         "1 %d %d" % self.settled_pointer())

        # Two fingers moving down scroll up, as a phone's page follows the fingers. The touch
        # that stops the glide and a finger that rests click nothing; the tap after them does.
        self.window.clear()
        self.stroke((x - 20, y - 100), (x - 20, y + 100), fingers=2)
        self.stroke((x, y), (x, y), steps=0)
        self.stroke((x, y), (x, y), steps=0, rest_ms=1000)
        self.stroke((x, y), (x, y), steps=0)
        self.assertTrue(wait_for(lambda: "1" in self.window.events("raw-button-release")))
        presses = self.window.events("raw-button-press")
        self.assertEqual((presses[0], [b for b in presses if b != "4"]), ("4", ["1"]))

        # (Text typed into a field: see the frozen computer's test.) The keys leave the focus in the field; a sticky Ctrl makes the next letter a shortcut.
        self.window.clear()
        self.browser.on("#typing", "focus")
        self.browser.on("[data-key=left]", "tap")
        self.assertEqual(self.browser.page("evaluate", "document.activeElement.id"), "typing")
        self.browser.on("[data-mod=ctrl]", "tap")
        self.assertEqual(self.browser.on("[data-mod=ctrl]", "getAttribute", "aria-pressed"), "mixed")
        self.browser.on("#typing", "pressSequentially", "c")
        self.assertTrue(self.window.wait_for_events("key-press", 3))
        self.assertEqual(self.window.key_presses(), [(113, 0), (37, 0), (54, 4)])
        self.assertEqual(self.browser.on("#typing", "inputValue"), "")
        # ⌫ held repeats until let go.
        self.window.clear()
        button = self.browser.on("[data-key=delete]", "boundingBox")
        self.browser.touches(("touchStart", [(button["x"] + 5, button["y"] + 5)], 1500),
                             ("touchEnd", [], 0))
        self.browser.on("[data-key=escape]", "tap")
        self.assertTrue(wait_for(lambda: (9, 0) in self.window.key_presses()))
        presses = self.window.key_presses()
        self.assertEqual((presses[-1], set(presses[:-1]), len(presses) > 10), ((9, 0), {(22, 0)}, True))
        # Alt tapped twice stays down across three Tabs, until tapped again.
        self.window.clear()
        for key in ["mod=alt"] * 2 + ["key=tab"] * 3 + ["mod=alt"]:
            self.browser.on("[data-%s]:not([data-mods])" % key, "tap")
        self.assertTrue(self.window.wait_for_events("key-release", 4))
        self.assertEqual(self.window.key_presses(), [(64, 0)] + [(23, 8)] * 3)
        self.assertEqual([e.split()[0] for e in self.window.events("key-release")],
                         ["23"] * 3 + ["64"])

        self.browser.on("#volume", "fill", "25")
        self.assertTrue(wait_for(lambda: self.pulse.percent() == 25), self.pulse.volumes())
        # Changes made on the computer show without the page asking; a phone that did not ask
        # to be told of them is not.
        phone = self.connect_phone(self.agent)
        self.record_sent()
        self.pulse.pactl("set-sink-volume", "@DEFAULT_SINK@", "70%")
        self.assertTrue(wait_for(lambda: self.browser.on("#volume", "inputValue") == "70"))
        self.pulse.pactl("set-sink-mute", "@DEFAULT_SINK@", "1")
        self.assertTrue(wait_for(
            lambda: self.browser.on("#mute", "getAttribute", "aria-pressed") == "true"))
        self.assertEqual([m for m in self.browser.page("evaluate", "sent") if "getvol" in str(m)], [])
        self.assertEqual(phone.request({"t": "ping"})["t"], "pong")
        slow, fast = self.pointer_travel(1, x, y), self.pointer_travel(9, x, y)
        self.assertGreater(fast, 2.5 * slow, (slow, fast))

        # The window switcher says its keys where there is room, and is named as it reads.
        self.assertEqual(self.browser.on('role=button[name="Fenêtres (Alt+Tab)"s]', "innerText"),
                         "Fenêtres (Alt+Tab)")
        for width, height in PHONES + [(h, w) for w, h in PHONES]:
            self.browser.page("setViewportSize", {"width": width, "height": height})
            self.assertEqual(self.browser.page("evaluate", LAYOUT), dict(
                scrolls=False, small=[], hidden=[], faint=[], sideBySide=width > height),
                (width, height))
        self.screenshot("web-page-landscape.png")
        self.browser.page("emulateMedia", {"colorScheme": "light"})
        self.assertEqual(self.browser.page("evaluate", "getComputedStyle(document.body).background"
                                           "Color"), "rgb(242, 242, 245)")
        self.assertEqual(self.browser.page("evaluate", LAYOUT)["faint"], [])
        self.window.clear()
        for name in ["Copier", "Coller"]:
            self.browser.on('role=button[name="%s"s]' % name, "tap")
        self.assertTrue(self.window.wait_for_events("key-release", 4))
        self.assertEqual(self.window.key_presses(), [(37, 0), (54, 4), (37, 0), (55, 4)])

    def test_wrong_codes_count_down_the_lockout_with_the_computer_named_and_files_compressed(self):
        self.open()
        self.assertTrue(self.wait_text("#computer", "Bureau"))
        for code in ["12 34", "1111", "2222", "3333", "4444"]:  # spaces are not part of a code
            self.browser.on("#code", "fill", code)
            self.assertTrue(wait_for(lambda: self.browser.on("#pair-error", "textContent")))
        self.assertTrue(self.wait_text("#pair-error", "Trop d’essais"))
        first = self.browser.on("#pair-form button", "textContent")
        self.assertRegex(first, r"^Réessaie dans (29|30) s$")
        self.assertTrue(wait_for(
            lambda: self.browser.on("#pair-form button", "textContent") != first))
        self.assertTrue(self.browser.on("#code", "isDisabled"))

        # The page goes out compressed to browsers that take it.
        url = "http://127.0.0.1:%d/app.js" % self.agent.port
        plain = urllib.request.urlopen(url).read()
        zipped = urllib.request.urlopen(urllib.request.Request(
            url, headers={"Accept-Encoding": "br, gzip;q=0.8"}))
        self.assertEqual((zipped.headers["Content-Encoding"], zipped.headers["Vary"]),
                         ("gzip", "Accept-Encoding"))
        self.assertEqual(gzip.decompress(zipped.read()), plain)

    def test_the_qr_link_pairs_what_is_typed_while_frozen_comes_after_and_the_link_is_shown(self):
        self.window.stop()
        field = self.started(TextField("gtk", self.xvfb.env()))
        self.browser.page("addInitScript", SOCKETS)
        self.open("#code=4321")
        self.browser.on("#pad", "waitFor")
        self.assertEqual(self.browser.page("evaluate", "location.hash"), "")
        phone = self.connect_phone(self.agent)
        box = self.browser.on("#pad", "boundingBox")
        x, y = box["x"] + box["width"] / 2, box["y"] + box["height"] / 2
        self.agent.process.send_signal(signal.SIGSTOP)
        frozen = time.monotonic()
        try:
            # Made while the page still says "Connecté", a tap and a swipe reach the agent late
            # and do nothing; the app's unstamped move still acts.
            self.stroke((x, y), (x, y), steps=0)
            self.stroke((x - 60, y), (x + 60, y))
            phone.send({"t": "mv", "dx": 40, "dy": 10})
            self.assertTrue(self.wait_text("#status", "Hors ligne"))
            self.assertLess(time.monotonic() - frozen, 5)
            for text in ["ok", "Enter", "deux"]:
                self.browser.on("#typing", "press" if text == "Enter" else "pressSequentially", text)
            self.assertTrue(self.wait_text("#notice", "partira au retour"))
        finally:
            self.agent.process.send_signal(signal.SIGCONT)
        self.assertTrue(self.wait_text("#status", "Connecté", timeout=20))
        self.assertEqual(field.wait_for_text("ok\ndeux"), "ok\ndeux")
        self.assertEqual((self.xvfb.pointer(), field.events("press")), ((140, 110), []))
        self.assertTrue(self.agent.wait_for_log("Dropped input that came"))
        self.assertTrue(self.browser.on("#notice", "isHidden"))

        # One backspace on a family emoji deletes it on both sides.
        self.browser.on("#typing", "fill", "Salut 👍🏽 famille 👨‍👩‍👧")
        self.assertTrue(field.wait_for_text("ok\nSalut 👍🏽 famille 👨‍👩‍👧"))
        self.browser.on("#typing", "press", "Backspace")
        self.assertEqual(self.browser.on("#typing", "inputValue"), "Salut 👍🏽 famille ")
        self.assertEqual(field.wait_for_text("ok\nSalut 👍🏽 famille "), "ok\nSalut 👍🏽 famille ")

        # Control lost with the X server and back with it, in the middle of a session.
        link = lambda: self.browser.page("evaluate", LINK)  # noqa: E731
        self.xvfb.kill()
        self.assertTrue(wait_for(lambda: link() == ["Sans contrôle", RED, False, "0.4", True]), link())
        self.xvfb.start()
        self.assertTrue(wait_for(lambda: link() == ["Connecté", GREEN, True, "1", False]), link())
        # A restarted agent: tries after 0.25 s, then twice as late each time, at most 2 s apart.
        self.browser.page("evaluate", "sockets.length = 0")
        self.agent.stop_cleanly()
        self.assertTrue(wait_for(lambda: len(self.browser.page("evaluate", RETRY_WAITS)) >= 6, 30))
        self.agent.extra_env["OLVANE_WS_PORT"] = str(self.agent.port)
        self.agent.start()
        self.assertTrue(self.wait_text("#status", "Connecté"))
        waits = self.browser.page("evaluate", RETRY_WAITS)
        self.assertTrue(all(planned <= waited < planned + 1500 for planned, waited
                            in zip([250, 500, 1000, 2000, 2000, 2000], waits)), waits)

        # Forgetting the computer goes to pairing without a lost link on the way.
        self.browser.page("evaluate", "const s = document.getElementById('status'); window.seen = [];"
                          "new MutationObserver(() => seen.push(s.textContent)).observe(s, "
                          "{ childList: true })")
        self.browser.on("#open-settings", "tap")
        self.browser.on("#forget", "tap")
        self.assertTrue(self.wait_text("#status", "À jumeler"))
        self.assertEqual(self.browser.page("evaluate", "seen"), ["À jumeler"])

    def test_a_computer_that_cannot_take_input_says_so_in_english_to_an_english_browser(self):
        blocked = self.start_agent(dry_run=False, env=dict(OLVANE_INPUT_BACKEND="none"))
        self.browser.page("addInitScript", "Object.defineProperty(navigator, 'languages', "
                                           "{ get: () => ['en-GB', 'fr'] })")
        self.browser.page("goto", "http://127.0.0.1:%d/#code=4321" % blocked.port)
        self.assertTrue(self.wait_text("#status", "No control"))
        self.assertIn("choose “Allow accessibility…”",
                      self.browser.on("#notice", "textContent"))
        self.assertEqual(self.browser.on('role=button[name="Windows (Alt+Tab)"s]', "innerText"),
                         "Windows (Alt+Tab)")
        self.assertTrue(self.browser.on("[data-key=left]", "isDisabled"))
        # A slide on the pad sends nothing; a media key, which still goes, marks the end.
        self.record_sent()
        box = self.browser.on("#pad", "boundingBox")
        x, y = box["x"] + box["width"] / 2, box["y"] + box["height"] / 2
        self.stroke((x - 20, y), (x + 40, y + 20))
        self.browser.on("[data-media=next]", "click")
        sent = lambda: [m for m in self.browser.page("evaluate", "sent")  # noqa: E731
                        if "ping" not in str(m)]
        self.assertTrue(wait_for(sent))
        self.assertEqual(sent(), ['{"t":"media","name":"next"}'])
        # Nor is there a sound server: the slider does not pretend.
        self.assertFalse(self.browser.on("[data-media=next]", "isDisabled"))
        self.assertTrue(wait_for(lambda: self.browser.on("#volume", "isDisabled")))
        self.assertEqual(self.browser.on("#volume", "getAttribute", "title"),
                         "Volume unavailable on the computer")


if __name__ == "__main__":
    unittest.main()
