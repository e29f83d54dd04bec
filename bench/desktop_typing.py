# SPDX-License-Identifier: GPL-3.0-or-later
"""Characters per second the agent types on each Wayland desktop: into a GTK 3 entry through the
portal on GNOME and KDE, into wev's window through the compositor's virtual keyboard on sway;
from the text sent to its last character arriving. The stacks are the end-to-end tests'.

Usage: desktop_typing.py <olvane-helper>   (run as root: sway's part runs as nobody)
Prints "typing.<desktop>.chars_per_s <value>" lines.
"""
import os
import random
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
os.environ["OLVANE_BINARY"] = os.path.realpath(sys.argv[1])
from olvane_e2e import (AS_NOBODY, Agent, GnomeWayland, KdeWayland, Phone, Sway,  # noqa: E402
                        Wev, hand_over, wait_for)
from olvane_e2e.x11_window import TextField  # noqa: E402

# Letters, digits and signs of a US layout, as in the X11 typing benchmark.
ALPHABET = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 ,.;:!?-'()"
TEXT = "".join(random.Random(1).choice(ALPHABET) for _ in range(600))


def measure(agent, window):
    phone = Phone(agent.port)
    try:
        phone.pair(agent.code)
        started = time.monotonic()
        phone.send({"t": "text", "text": TEXT})
        if wait_for(lambda: window.text() == TEXT, 120) != True:  # noqa: E712
            return "lost"
        return "%.0f" % (len(TEXT) / (time.monotonic() - started))
    finally:
        phone.close()


def portal(stack, stopping, share=lambda stack: None):
    stopping.append(stack.start())
    window = TextField("gtk", dict(stack.env(), GDK_BACKEND="wayland")).start()
    stopping.append(window)
    agent = Agent(stack.workdir, dry_run=False, env=dict(stack.env(), HOME=None,
                                                         XDG_CONFIG_HOME=None)).start()
    stopping.append(agent)
    share(stack)
    if not agent.wait_for_log("RemoteDesktop session started", 60):
        return "no session"
    return measure(agent, window)


def sway(workdir, stopping):
    compositor = Sway(workdir).start()
    stopping.append(compositor)
    agent = Agent(workdir, dry_run=False, prefix=AS_NOBODY, env=compositor.env())
    agent.environment()
    hand_over(agent.workdir)
    stopping.append(agent.start())
    window = Wev(compositor).start()
    stopping.append(window)
    return measure(agent, window)


def main():
    desktops = {"gnome": lambda d, s: portal(GnomeWayland(d), s, lambda g: g.answer(True)),
                "kde": lambda d, s: portal(KdeWayland(d), s), "sway": sway}
    for name, run in desktops.items():
        stopping = []
        with tempfile.TemporaryDirectory(prefix="olvane-bench-") as workdir:
            try:
                print("typing.%s.chars_per_s %s" % (name, run(workdir, stopping)), flush=True)
            finally:
                for part in reversed(stopping):
                    part.stop()


main()
