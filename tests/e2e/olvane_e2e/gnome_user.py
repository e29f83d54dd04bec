"""The person at the headless GNOME stack (gnome.GnomeUser): a keyboard and a mouse through
mutter's own remote desktop API, which asks nobody, and eyes on the accessibility bus. Prints
"ready", then answers the portal's consent dialog for each line it reads ("share" turns "Allow
remote interaction" on and presses Share, "cancel" presses Cancel) with "done" or what went
wrong. Keys go to the dialog only while it has the keyboard focus.
"""
import sys

import dbus
import pyatspi
from gi.repository import GLib

from olvane_e2e.process import wait_for

MUTTER = "org.gnome.Mutter.RemoteDesktop"
KEY_TAB, KEY_SPACE, KEY_LEFTSHIFT = 15, 57, 42


class Failed(Exception):
    pass


def keyboard_and_mouse():
    bus = dbus.SessionBus()
    desktop = dbus.Interface(bus.get_object(MUTTER, "/org/gnome/Mutter/RemoteDesktop"), MUTTER)
    session = dbus.Interface(bus.get_object(MUTTER, desktop.CreateSession()), MUTTER + ".Session")
    session.Start()
    # Mutter gives the seat a keyboard and a pointer, and so programs their focus, with the
    # first event of the first such device; programs miss that event itself.
    session.NotifyKeyboardKeycode(dbus.UInt32(KEY_LEFTSHIFT), True)
    session.NotifyKeyboardKeycode(dbus.UInt32(KEY_LEFTSHIFT), False)
    session.NotifyPointerMotionRelative(1.0, 0.0)
    return session


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
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "xdg-desktop-portal-gnome":
            for frame in app:
                if frame is not None and frame.name == "Remote desktop" and has(
                        frame, pyatspi.STATE_VISIBLE):
                    return frame
    return None


def click(button):
    actions = button.queryAction()
    if not actions.doAction(0):
        raise Failed("the button refused its %s action" % actions.getName(0))


def answer(keyboard, share):
    frame = poll(dialog, "the consent dialog")
    if not share:
        return click(descendant(frame, "push button", "Cancel"))
    switch = descendant(frame, "check box", "Allow remote interaction")
    button = descendant(frame, "push button", "Share")
    poll(lambda: has(frame, pyatspi.STATE_ACTIVE), "the dialog to get the keyboard focus")

    def tap(key):
        keyboard.NotifyKeyboardKeycode(dbus.UInt32(key), True)
        keyboard.NotifyKeyboardKeycode(dbus.UInt32(key), False)

    # The focus starts on the switch's row; Tab moves it onto the switch itself.
    if not has(switch, pyatspi.STATE_FOCUSED):
        tap(KEY_TAB)
    poll(lambda: has(switch, pyatspi.STATE_FOCUSED), "the focus on the switch")
    tap(KEY_SPACE)
    poll(lambda: has(switch, pyatspi.STATE_CHECKED) and has(button, pyatspi.STATE_SENSITIVE),
         "the switch to turn on")
    click(button)


def main():
    keyboard = keyboard_and_mouse()
    print("ready", flush=True)
    for line in sys.stdin:
        try:
            answer(keyboard, line.strip() == "share")
            print("done", flush=True)
        except Failed as e:
            print(e, flush=True)


main()
