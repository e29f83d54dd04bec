"""A GNOME Wayland input stack without a screen: mutter, the desktop portal with its GNOME
backend and the accessibility bus, on private buses; and a user at the keyboard who answers
the portal's consent dialog.

The keyboard layout is mutter's at start, which it reads from systemd-localed: the real one,
run in a mount namespace of its own where /etc/default holds our keyboard file.
"""
import json
import os
import subprocess
import sys
import threading

import dbus

from .agent import wait_for
from .dbus import DBusBus
from .x11_window import RecordingWindow

E2E_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MUTTER_RD = "org.gnome.Mutter.RemoteDesktop"
# Programs repeat a key whose release comes late, as on a loaded machine: no key repeat.
SETTINGS = "[org/gnome/desktop/peripherals/keyboard]\nrepeat=false\n"


class GnomeWayland:
    """The stack, started in workdir; env() is the environment of its clients."""

    def __init__(self, workdir, layout="us", monitors=2):
        self.workdir = workdir
        self.layout = layout
        self.monitors = monitors
        self.runtime = os.path.join(workdir, "run")
        self.session = DBusBus(workdir, "session_bus")
        self.system = DBusBus(workdir, "system_bus")
        self.processes = []
        self.user = None

    def env(self):
        return {"XDG_RUNTIME_DIR": self.runtime, "WAYLAND_DISPLAY": "wayland-0",
                "XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_TYPE": "wayland",
                "DBUS_SESSION_BUS_ADDRESS": self.session.address,
                "DBUS_SYSTEM_BUS_ADDRESS": self.system.address,
                "HOME": os.path.join(self.workdir, "home"), "GSETTINGS_BACKEND": "keyfile"}

    def spawn(self, command, name):
        log = open(os.path.join(self.workdir, name + ".log"), "wb")
        process = subprocess.Popen(command, env=dict(os.environ, **self.env()), stdout=log,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        log.close()
        self.processes.append(process)
        return process

    def owned(self, name):
        bus = dbus.bus.BusConnection(self.session.address)
        try:
            return bus.name_has_owner(name)
        finally:
            bus.close()

    def wait_for_name(self, name):
        if not wait_for(lambda: self.owned(name), 20, 0.05):
            raise RuntimeError("%s did not come up; see the logs in %s" % (name, self.workdir))

    def start(self):
        os.makedirs(self.runtime, mode=0o700, exist_ok=True)
        settings = os.path.join(self.workdir, "home", ".config", "glib-2.0", "settings")
        os.makedirs(settings)
        with open(os.path.join(settings, "keyfile"), "w") as f:
            f.write(SETTINGS)
        self.session.start()
        self.system.start()
        self.start_localed()
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], "at-spi")
        self.wait_for_name("org.a11y.Bus")
        monitors = ["--virtual-monitor", "1920x1080"] * self.monitors
        self.spawn(["mutter", "--headless", "--wayland", "--no-x11"] + monitors, "mutter")
        self.wait_for_name(MUTTER_RD)
        # The user's keyboard and mouse: without them the seat has neither, and programs
        # miss the first events of a device that appears later.
        self.user = GnomeUser(self).start()
        self.spawn(["/usr/libexec/xdg-desktop-portal-gnome"], "portal-gnome")
        self.wait_for_name("org.freedesktop.impl.portal.desktop.gnome")
        self.spawn(["/usr/libexec/xdg-desktop-portal"], "portal")
        self.wait_for_name("org.freedesktop.portal.Desktop")
        return self

    def start_localed(self):
        folder = os.path.join(self.workdir, "etc-default")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "keyboard"), "w") as f:
            f.write('XKBMODEL="pc105"\nXKBLAYOUT="%s"\n' % self.layout)
        self.spawn(["unshare", "--mount", "sh", "-c",
                    'mount --bind "$0" /etc/default && exec /lib/systemd/systemd-localed',
                    folder], "localed")
        bus = dbus.bus.BusConnection(self.system.address)
        if not wait_for(lambda: bus.name_has_owner("org.freedesktop.locale1"), 10, 0.05):
            raise RuntimeError("systemd-localed did not come up")
        bus.close()

    def stop(self):
        if self.user:
            self.user.stop()
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.session.stop()
        self.system.stop()



class GtkWindow(RecordingWindow):
    """Our GTK program (olvane_e2e.gtk_window) on the stack's display."""

    def __init__(self, stack):
        super().__init__(None)
        self.stack = stack

    def start(self):
        return self._run([sys.executable, "-m", "olvane_e2e.gtk_window"],
                         env=dict(os.environ, GDK_BACKEND="wayland", **self.stack.env()),
                         cwd=E2E_DIR)

    def text(self):
        """What the text field holds."""
        texts = self.events("text")
        return json.loads(texts[-1]) if texts else ""

    def pointer(self):
        moves = self.events("motion")
        return tuple(int(v) for v in moves[-1].split()) if moves else None


class GnomeUser:
    """Someone at the computer: their keyboard and mouse (a session of mutter's own remote
    desktop API, which asks nobody), and their eyes on the screen (the accessibility bus),
    in a process of its own that lives on the stack's buses. answer() deals with the portal's
    next consent dialog."""

    def __init__(self, stack):
        self.stack = stack
        self.process = None
        self.lock = threading.Lock()

    def start(self):
        self.process = subprocess.Popen(
            [sys.executable, "-m", "olvane_e2e.gnome_user"], cwd=E2E_DIR,
            env=dict(os.environ, **self.stack.env()), stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError("the user's keyboard and mouse did not come up")
        return self

    def answer(self, share):
        """Share or Cancel on the dialog, as a person would; returns "done" or why not."""
        with self.lock:
            self.process.stdin.write(("share" if share else "cancel") + "\n")
            self.process.stdin.flush()
            return self.process.stdout.readline().strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            self.process.wait(5)
