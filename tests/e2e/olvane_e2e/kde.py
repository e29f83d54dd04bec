# SPDX-License-Identifier: GPL-3.0-or-later
"""KDE Plasma's Wayland input stack without a screen: KWin on two virtual outputs and the desktop
portal with its KDE backend, on a private session bus whose configuration activates nothing
(activation would start the document portal, whose FUSE mount outlives the test). Run as a
program, this is the desktop's notification server, printing each notification's summary."""
import json
import os
import subprocess
import sys

import dbus
import dbus.service

from .process import ChildProcess
from .programs import copy_of
from .stand_in import serve, stand_in

BUS = """<busconfig><type>session</type><listen>%s</listen><servicedir>%s</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/>
</policy></busconfig>"""
# Programs repeat a key whose release comes late, as on a loaded machine: no key repeat.
SETTINGS = {"kxkbrc": "[Layout]\nLayoutList=%s\nUse=true\n",
            "kcminputrc": "[Keyboard]\nKeyRepeat=nothing\n"}


class KdeWayland:

    def __init__(self, workdir, layout="us"):
        self.workdir, self.layout, self.parts = workdir, layout, []
        self.bus = os.path.join(workdir, "session_bus")
        self.address = "unix:path=" + self.bus

    def env(self):
        return {"XDG_RUNTIME_DIR": os.path.join(self.workdir, "run"),
                "WAYLAND_DISPLAY": "wayland-olv", "XDG_CURRENT_DESKTOP": "KDE",
                "XDG_SESSION_TYPE": "wayland", "DBUS_SESSION_BUS_ADDRESS": self.address,
                "HOME": self.workdir, "XDG_CONFIG_HOME": os.path.join(self.workdir, "config")}

    def run(self, command, name, **env):
        def owned():
            connection = dbus.bus.BusConnection(self.address)
            try:
                return connection.name_has_owner(name)
            finally:
                connection.close()
        self.parts.append(ChildProcess(command, owned, timeout=30, stdin=subprocess.DEVNULL,
                                       env=dict(os.environ, **self.env(), **env)).start())

    def start(self):
        for folder in ("run", "config", "services"):
            os.makedirs(os.path.join(self.workdir, folder), mode=0o700)
        for name, text in SETTINGS.items():
            with open(os.path.join(self.workdir, "config", name), "w") as f:
                f.write(text.replace("%s", self.layout))
        with open(os.path.join(self.workdir, "bus.conf"), "w") as f:
            f.write(BUS % (self.address, os.path.join(self.workdir, "services")))
        self.parts.append(ChildProcess(["dbus-daemon", "--nofork", "--nopidfile", "--config-file",
                                        os.path.join(self.workdir, "bus.conf")],
                                       lambda: os.path.exists(self.bus)).start())
        self.notifications = stand_in("kde", self.address)
        self.parts.append(self.notifications.start())
        # A copy without the packaged file capability, which a container may refuse.
        self.run([copy_of("/usr/bin/kwin_wayland", self.workdir), "--virtual", "--width",
                  "1920", "--height", "1080", "--output-count", "2", "--no-lockscreen",
                  "--no-global-shortcuts", "--no-kactivities", "--socket", "wayland-olv"],
                 "org.kde.KWin", KWIN_COMPOSE="Q")
        self.run(["/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"],
                 "org.freedesktop.impl.portal.desktop.kde", QT_QPA_PLATFORM="wayland")
        self.run(["/usr/libexec/xdg-desktop-portal"], "org.freedesktop.portal.Desktop")
        return self

    def stop(self):
        for part in reversed(self.parts):
            part.stop()


class Notifications(dbus.service.Object):

    @dbus.service.method("org.freedesktop.Notifications", in_signature="susssasa{sv}i",
                         out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        print(json.dumps(str(summary)), flush=True)
        return 1


if __name__ == "__main__":
    serve(sys.argv[2], "org.freedesktop.Notifications",
          lambda bus: Notifications(bus, "/org/freedesktop/Notifications"))
