# SPDX-License-Identifier: GPL-3.0-or-later
"""KDE Plasma's Wayland input stack without a screen: KWin on two outputs and the portal with
its KDE backend, on a private bus that activates nothing (the document portal's FUSE mount would
outlive the test). Run as a program: the desktop's notifications, a summary a line."""
import json
import os
import sys

import dbus.service

from .dbus import DBusBus
from .gnome import GnomeWayland
from .programs import copy_of
from .stand_in import serve, stand_in

BUS = """<busconfig><listen>unix:tmpdir=/tmp</listen><servicedir>%s/services</servicedir><policy
context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/>
</policy></busconfig>"""
# Programs repeat a key whose release comes late, as on a loaded machine: no key repeat.
SETTINGS = {"kxkbrc": "[Layout]\nLayoutList=%s\nUse=true\n",
            "kcminputrc": "[Keyboard]\nKeyRepeat=nothing\n"}


class KdeWayland(GnomeWayland):

    def __init__(self, workdir, layout="us"):
        super().__init__(workdir, layout)
        self.session = DBusBus(workdir, "session_bus", os.path.join(workdir, "config", "bus"))

    def env(self):
        return dict(super().env(), WAYLAND_DISPLAY="wayland-olv", XDG_CURRENT_DESKTOP="KDE",
                    XDG_CONFIG_HOME=os.path.join(self.workdir, "config"))

    def start(self):
        for folder in ("run", "config", "services", "home"):
            os.makedirs(os.path.join(self.workdir, folder), mode=0o700)
        for name, text in dict(SETTINGS, bus=BUS % self.workdir).items():
            with open(os.path.join(self.workdir, "config", name), "w") as f:
                f.write(text.replace("%s", self.layout))
        self.notifications = stand_in("kde", self.session.address)
        self.parts += [self.session.start(), self.notifications.start()]
        # A copy without the packaged file capability, which a container may refuse.
        self.run([copy_of("/usr/bin/kwin_wayland", self.workdir), "--virtual", "--width",
                  "1920", "--height", "1080", "--output-count", "2", "--no-lockscreen",
                  "--no-global-shortcuts", "--no-kactivities", "--socket", "wayland-olv"],
                 "org.kde.KWin", KWIN_COMPOSE="Q")
        self.run(["/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"],
                 "org.freedesktop.impl.portal.desktop.kde", QT_QPA_PLATFORM="wayland")
        self.run(["/usr/libexec/xdg-desktop-portal"], "org.freedesktop.portal.Desktop")
        return self


class Notifications(dbus.service.Object):
    @dbus.service.method("org.freedesktop.Notifications", "susssasa{sv}i", "u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        print(json.dumps(str(summary)), flush=True)
        return 1


if __name__ == "__main__":
    serve(sys.argv[2], "org.freedesktop.Notifications",
          lambda bus: Notifications(bus, "/org/freedesktop/Notifications"))
