"""GNOME's Wayland input stack without a screen: mutter on two monitors, the desktop portal with
its GNOME backend and the accessibility bus, on private buses; and someone at the computer
(gnome_user) who answers the portal's consent dialog. Mutter takes its keyboard layout from
systemd-localed: the real one, in a mount namespace where /etc/default holds our file."""
import os
import subprocess

import dbus

from .dbus import DBusBus
from .process import E2E_DIR, ChildProcess, our_module, wait_for

# Programs repeat a key whose release comes late, as on a loaded machine: no key repeat.
SETTINGS = "[org/gnome/desktop/peripherals/keyboard]\nrepeat=false\n"


class GnomeWayland:
    """The stack, started in workdir; env() is the environment of its clients."""

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

    def run(self, command, name, bus=None):
        """Starts a part of the stack and waits until it owns its name on the bus."""
        def owned():
            connection = dbus.bus.BusConnection((bus or self.session).address)
            try:
                return connection.name_has_owner(name)
            finally:
                connection.close()
        with open(os.path.join(self.workdir, name + ".log"), "wb") as log:
            self.parts.append(ChildProcess(command, owned, timeout=20, stdout=log,
                                           stdin=subprocess.DEVNULL, stderr=subprocess.STDOUT,
                                           env=dict(os.environ, **self.env())).start())

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
                 ["--virtual-monitor", "1920x1080"] * 2, "org.gnome.Mutter.RemoteDesktop")
        # The user's keyboard and mouse come first: without them the seat has neither, and
        # programs miss the first events of a device that appears later.
        self.user = ChildProcess(our_module("gnome_user"), "ready", timeout=20, cwd=E2E_DIR,
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 env=dict(os.environ, **self.env()))
        self.parts.append(self.user.start())
        self.run(["/usr/libexec/xdg-desktop-portal-gnome"],
                 "org.freedesktop.impl.portal.desktop.gnome")
        self.run(["/usr/libexec/xdg-desktop-portal"], "org.freedesktop.portal.Desktop")
        return self

    def answer(self, share):
        """Share or Cancel on the dialog, as a person would; returns "done" or why not."""
        self.user.clear()
        self.user.process.stdin.write(b"share\n" if share else b"cancel\n")
        self.user.process.stdin.flush()
        return wait_for(self.user.lines, 60) and self.user.lines()[0]

    def stop(self):
        for part in reversed(self.parts):
            part.stop()
