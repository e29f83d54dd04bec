# SPDX-License-Identifier: GPL-3.0-or-later
"""What a phone does through the portal, as a GTK program on both displays sees it, anywhere."""
import signal
import struct
import time

from .case import AgentTestCase
from .process import wait_for
from .x11_window import TextField

GREETING = "héllo € ñ Ω ж 😀"
# Letters of the layouts and far from them, signs, other scripts and emoji.
MIXED = (("Le cœur a ses raisons, 1234 — Ωμέγα, жизнь; 日本語 😀🎉 naïve façade déjà-vu? "
          "ÀÉÎÕÜ ß ø å æ € £ ¥ © «» „quotes“ <tag> & % $ # @ ! ~ ^ * ( ) [ ] { } | / + = _ ") * 3)[:300]
LONG = ("Portez ce vieux whisky au juge blond qui fume, 1234567890; Zoe & Max! " * 50)[:3000]


def as_far_as_x11(window):
    """Whether 200 by 300 pixels scrolled left and up as X11's 4 and 6 wheel clicks do, ±20 %."""
    deltas = [[float(v) for v in e.split()] for e in window.events("scroll")]
    return all(0.8 <= sum(d[axis] for d in deltas) / clicks <= 1.2 and
               all(d[axis] <= 0 for d in deltas) for axis, clicks in ((0, -4), (1, -6)))


class PortalCase(AgentTestCase):
    scroll_stops = True  # programs are told when a scroll ends

    def start_on(self, stack):
        self.stack = self.started(stack)
        self.window = self.started(TextField("gtk", dict(stack.env(), GDK_BACKEND="wayland")))
        self.agent = self.start_agent(dry_run=False, env=dict(stack.env(), HOME=None))

    def moves(self, phone, *steps):
        for message, at in steps:
            phone.send(message)
            self.assertTrue(wait_for(lambda: self.window.pointer() == at, 30), self.window.pointer())

    def type_texts(self, phone, *texts):
        """Whole, though the program stops reading for a second (a full socket drops it)."""
        for text in texts:
            phone.send({"t": "text", "text": text})
        wait_for(lambda: len(self.window.text()) > len(texts[0]) + 10, 60)
        self.window.process.send_signal(signal.SIGSTOP)
        time.sleep(1)
        self.window.process.send_signal(signal.SIGCONT)
        self.assertEqual(self.window.wait_for_text("".join(texts), 300), "".join(texts))

    def check_pointer_scroll_keys_and_text(self, phone):
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

        # Up and left, then the scroll's end.
        self.window.clear()
        phone.send({"t": "scroll", "dy": 300, "dx": 200})
        wait_for(lambda: as_far_as_x11(self.window), 30)
        if self.scroll_stops:
            self.assertTrue(self.window.wait_for_events("stop", 1, 30), self.window.lines())
        self.assertTrue(as_far_as_x11(self.window), self.window.events("scroll"))

        self.window.clear()
        for key in ({"name": "Return"}, {"name": "a", "mods": ["cmd", "shift"]},
                    {"name": "End", "mods": ["shift"]}):
            phone.send(dict(key, t="key"))
        self.assertTrue(self.window.wait_for_events("key", 6))
        keys = [e for e in self.window.events("key") if not e.startswith(("Shift", "Control"))]
        self.assertEqual(keys, ["Return 0", "A 5", "End 1"])
        self.window.clear()
        self.type_texts(phone, GREETING, MIXED, LONG)
