"""Someone at the headless GNOME stack: a keyboard and a mouse through mutter's own remote
desktop API, which asks nobody, and eyes on the accessibility bus. Prints "ready", then answers
the portal's consent dialog for each line read ("share" turns "Allow remote interaction" on and
presses Share, "cancel" presses Cancel) with "done" or what went wrong. Keys reach the dialog
only while it has the keyboard focus."""
import sys

import dbus
import pyatspi
from gi.repository import GLib

from olvane_e2e.process import wait_for

MUTTER = "org.gnome.Mutter.RemoteDesktop"
KEY_TAB, KEY_SPACE, KEY_LEFTSHIFT = 15, 57, 42


class Failed(Exception):
    pass


def tap(keyboard, key):
    keyboard.NotifyKeyboardKeycode(dbus.UInt32(key), True)
    keyboard.NotifyKeyboardKeycode(dbus.UInt32(key), False)


def poll(condition, what):
    def pumped():
        # The accessibility library learns of new windows from events.
        while GLib.MainContext.default().iteration(False):
            pass
        return condition()
    value = wait_for(pumped, 20, 0.05)
    if not value:
        raise Failed("timed out waiting for " + what)
    return value


def has(node, state):
    return node.getState().contains(state)


def descendant(node, role, name):
    return pyatspi.findDescendant(node, lambda n: n is not None and n.getRoleName() == role
                                  and n.name.replace("_", "").endswith(name))


def dialog():
    return next((frame for app in pyatspi.Registry.getDesktop(0)
                 if app is not None and app.name == "xdg-desktop-portal-gnome" for frame in app
                 if frame is not None and frame.name == "Remote desktop"
                 and has(frame, pyatspi.STATE_VISIBLE)), None)


def click(button):
    if not button.queryAction().doAction(0):
        raise Failed("the button refused to be pressed")


def answer(keyboard, share):
    frame = poll(dialog, "the consent dialog")
    if not share:
        return click(descendant(frame, "push button", "Cancel"))
    switch = descendant(frame, "check box", "Allow remote interaction")
    button = descendant(frame, "push button", "Share")
    poll(lambda: has(frame, pyatspi.STATE_ACTIVE), "the dialog to get the keyboard focus")
    # The focus starts on the switch's row; Tab moves it onto the switch itself.
    if not has(switch, pyatspi.STATE_FOCUSED):
        tap(keyboard, KEY_TAB)
    poll(lambda: has(switch, pyatspi.STATE_FOCUSED), "the focus on the switch")
    tap(keyboard, KEY_SPACE)
    poll(lambda: has(switch, pyatspi.STATE_CHECKED) and has(button, pyatspi.STATE_SENSITIVE),
         "the switch to turn on")
    click(button)


bus = dbus.SessionBus()
desktop = dbus.Interface(bus.get_object(MUTTER, "/org/gnome/Mutter/RemoteDesktop"), MUTTER)
keyboard = dbus.Interface(bus.get_object(MUTTER, desktop.CreateSession()), MUTTER + ".Session")
keyboard.Start()
# Mutter gives the seat a keyboard and a pointer, and so programs their focus, with the first
# event of the first such device; programs miss that event itself.
tap(keyboard, KEY_LEFTSHIFT)
keyboard.NotifyPointerMotionRelative(1.0, 0.0)
print("ready", flush=True)
for line in sys.stdin:
    try:
        answer(keyboard, line.strip() == "share")
        print("done", flush=True)
    except Failed as e:
        print(e, flush=True)
