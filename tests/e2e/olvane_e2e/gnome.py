# SPDX-License-Identifier: GPL-3.0-or-later
"""GNOME's Wayland input stack without a screen: mutter on two monitors, the desktop portal with
its GNOME backend and the accessibility bus, on private buses. Mutter takes its keyboard layout
from systemd-localed: the real one, in a mount namespace where /etc/default holds our file.
Run as a program, this is the person at the stack: a keyboard and a mouse through mutter's own
remote desktop API, which asks nobody, and eyes on the accessibility bus; it answers the
portal's dialog as told on stdin ("share" or "cancel"), with keys only while it has the focus."""
import os
import subprocess
import sys

import dbus

from .dbus import DBusBus
from .process import E2E_DIR, ChildProcess, our_module, wait_for

MUTTER = "org.gnome.Mutter.RemoteDesktop"
KEY_TAB, KEY_SPACE, KEY_LEFTSHIFT = 15, 57, 42
# Programs repeat a key whose release comes late, as on a loaded machine: no key repeat.
SETTINGS = "[org/gnome/desktop/peripherals/keyboard]\nrepeat=false\n"


class GnomeWayland:

    def __init__(self, workdir, layout="us"):
        self.workdir, self.layout, self.parts = workdir, layout, []
        self.runtime = os.path.join(workdir, "run")
        self.session, self.system = DBusBus(workdir, "session_bus"), DBusBus(workdir, "system_bus")

    def env(self):
        return {"XDG_RUNTIME_DIR": self.runtime, "WAYLAND_DISPLAY": "wayland-0",
                "XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_TYPE": "wayland",
                "DBUS_SESSION_BUS_ADDRESS": self.session.address,
                "DBUS_SYSTEM_BUS_ADDRESS": self.system.address,
                "HOME": os.path.join(self.workdir, "home"), "GSETTINGS_BACKEND": "keyfile"}

    def run(self, command, name, bus=None, **env):
        def owned():
            connection = dbus.bus.BusConnection((bus or self.session).address)
            try:
                return connection.name_has_owner(name)
            finally:
                connection.close()
        self.parts.append(ChildProcess(command, owned, timeout=30, stdin=subprocess.DEVNULL,
                                       env=dict(os.environ, **self.env(), **env)).start())

    def start(self):
        os.makedirs(self.runtime, mode=0o700, exist_ok=True)
        settings = os.path.join(self.workdir, "home", ".config", "glib-2.0", "settings")
        keyboard = os.path.join(self.workdir, "etc-default")
        for folder, name, text in ((settings, "keyfile", SETTINGS), (keyboard, "keyboard",
                                   'XKBMODEL="pc105"\nXKBLAYOUT="%s"\n' % self.layout)):
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        self.parts += [self.session.start(), self.system.start()]
        self.run(["unshare", "--mount", "sh", "-c", 'mount --bind "$0" /etc/default && '
                  'exec /lib/systemd/systemd-localed', keyboard], "org.freedesktop.locale1",
                 self.system)
        self.run(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], "org.a11y.Bus")
        self.run(["mutter", "--headless", "--wayland", "--no-x11"] +
                 ["--virtual-monitor", "1920x1080"] * 2, MUTTER)
        # The user's keyboard and mouse come first: without them the seat has neither, and
        # programs miss the first events of a device that appears later.
        self.user = ChildProcess(our_module("gnome"), "ready", timeout=20, cwd=E2E_DIR,
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 env=dict(os.environ, **self.env()))
        self.parts.append(self.user.start())
        self.run(["/usr/libexec/xdg-desktop-portal-gnome"],
                 "org.freedesktop.impl.portal.desktop.gnome")
        self.run(["/usr/libexec/xdg-desktop-portal"], "org.freedesktop.portal.Desktop")
        return self

    def answer(self, share):
        """"done", or why the dialog could not be answered."""
        self.user.clear()
        self.user.process.stdin.write(b"share\n" if share else b"cancel\n")
        self.user.process.stdin.flush()
        return wait_for(self.user.lines, 60) and self.user.lines()[0]

    def stop(self):
        for part in reversed(self.parts):
            part.stop()


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
        raise RuntimeError("timed out waiting for " + what)
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
        raise RuntimeError("the button refused to be pressed")


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


if __name__ == "__main__":
    import pyatspi
    from gi.repository import GLib
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
        except RuntimeError as e:
            print(e, flush=True)
