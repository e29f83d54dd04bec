# SPDX-License-Identifier: GPL-3.0-or-later
"""A stand-in for xdg-desktop-portal's RemoteDesktop at version 2, for what Debian 12's (version
1) cannot show: restore tokens, and a session the desktop ends. As the portal does, it answers
through request objects (their Response before the method's reply, which the pattern allows),
keeps sessions as objects and checks option types. It prints each call as a JSON line; tests
steer it through org.olvane.test.FakePortal. Arguments: --address ADDRESS [--refuse]"""
import json
import sys

import dbus
import dbus.service

from olvane_e2e.stand_in import serve

PATH = "/org/freedesktop/portal/desktop"
REMOTE_DESKTOP = "org.freedesktop.portal.RemoteDesktop"
SESSION = "org.freedesktop.portal.Session"
CONTROL = "org.olvane.test.FakePortal"
OPTION_TYPES = {"handle_token": dbus.String, "session_handle_token": dbus.String,
                "types": dbus.UInt32, "persist_mode": dbus.UInt32, "restore_token": dbus.String}


def fault(message, name="InvalidArgs"):
    return dbus.DBusException(message, name="org.freedesktop.DBus.Error." + name)


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class Session(dbus.service.Object):
    started = persist = False

    @dbus.service.method(SESSION)
    def Close(self):
        self.started = False
        self.remove_from_connection()

    @dbus.service.signal(SESSION, signature="a{sv}")
    def Closed(self, details):
        pass


class RemoteDesktop(dbus.service.Object):
    """The portal, and on /org/olvane/test its control interface."""

    SUPPORTS_MULTIPLE_OBJECT_PATHS = True

    def __init__(self, bus, start_response):
        super().__init__(bus, PATH)
        self.add_to_connection(bus, "/org/olvane/test")
        self.bus, self.start_response = bus, start_response
        self.calls, self.sessions, self.tokens, self.hung = [], {}, 0, False

    def answer(self, call, sender, options, response, results, *args):
        for key, value in options.items():
            if not isinstance(value, OPTION_TYPES.get(key, object)):
                raise fault("option %s must not be %s" % (key, type(value).__name__))
        self.calls.append([call, *args, options])
        print(json.dumps(self.calls[-1]), flush=True)
        if "handle_token" not in options:
            raise fault("no handle_token")
        path = "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), options["handle_token"])
        request = Request(self.bus, path)
        request.Response(dbus.UInt32(response), dbus.Dictionary(results, signature="sv"))
        request.remove_from_connection()
        return dbus.ObjectPath(path)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return {(REMOTE_DESKTOP, "version"): dbus.UInt32(2)}[interface, name]

    @dbus.service.method(REMOTE_DESKTOP, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender):
        handle = "%s/session/%s/%s" % (PATH, sender[1:].replace(".", "_"),
                                       options["session_handle_token"])
        self.sessions[handle] = Session(self.bus, handle)
        return self.answer("CreateSession", sender, options, 0,
                           {"session_handle": dbus.String(handle)})

    @dbus.service.method(REMOTE_DESKTOP, in_signature="oa{sv}", out_signature="o",
                         sender_keyword="sender")
    def SelectDevices(self, handle, options, sender):
        self.sessions[handle].persist = options.get("persist_mode", 0) == 2
        return self.answer("SelectDevices", sender, options, 0, {})

    @dbus.service.method(REMOTE_DESKTOP, in_signature="osa{sv}", out_signature="o",
                         sender_keyword="sender")
    def Start(self, handle, parent_window, options, sender):
        session = self.sessions[handle]
        results = {"devices": dbus.UInt32(3)}
        session.started = self.start_response == 0
        if session.started and session.persist:
            self.tokens += 1
            results["restore_token"] = dbus.String("token-%d" % self.tokens)
        return self.answer("Start", sender, options, self.start_response, results, parent_window)

    @dbus.service.method(REMOTE_DESKTOP, in_signature="oa{sv}iu", async_callbacks=("ok", "_"))
    def NotifyKeyboardKeycode(self, handle, options, keycode, state, ok, _):
        self.calls.append(["NotifyKeyboardKeycode", int(keycode), int(state)])
        self.hung or ok()

    @dbus.service.method(REMOTE_DESKTOP, in_signature="oa{sv}iu", async_callbacks=("ok", "_"))
    def NotifyKeyboardKeysym(self, handle, options, keysym, state, ok, _):
        self.calls.append(["NotifyKeyboardKeysym", int(keysym), int(state)])
        self.hung or ok()

    @dbus.service.method(CONTROL, in_signature="b")
    def Hang(self, hung):
        """Key events are taken and never answered, as by a portal that stalls."""
        self.hung = bool(hung)

    @dbus.service.method(CONTROL, out_signature="s")
    def Calls(self):
        return json.dumps(self.calls)

    @dbus.service.method(CONTROL, in_signature="u")
    def SetStartResponse(self, response):
        """0 grants the next sessions, 1 is the user cancelling, 2 any other end."""
        self.start_response = int(response)

    @dbus.service.method(CONTROL)
    def CloseSessions(self):
        """The desktop ends every started session, as when the user stops sharing."""
        for path, session in list(self.sessions.items()):
            if session.started:
                session.Closed({})
                session.remove_from_connection()
                del self.sessions[path]


serve(sys.argv[2], "org.freedesktop.portal.Desktop",
      lambda bus: RemoteDesktop(bus, 1 if "--refuse" in sys.argv else 0))
