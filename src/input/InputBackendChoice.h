// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// What the session offers the automatic choice. The probes run only when the choice gets to
// them, so that an X11 session never wakes the desktop portal.
struct InputSessionFacts {
    bool x11Display = false;      // DISPLAY set and not empty
    bool waylandDisplay = false;  // WAYLAND_DISPLAY set and not empty
    // The desktop portal answers on the session bus with its RemoteDesktop interface.
    std::function<bool()> remoteDesktopPortal;
    // The Wayland compositor offers a virtual pointer and a virtual keyboard (wlroots).
    std::function<bool()> wlrootsVirtualInput;
    // /dev/uinput may be opened for writing.
    std::function<bool()> uinputWritable;
};

struct InputBackendChoice {
    QString backend;  // "x11", "portal", "wlroots", "uinput" or "none"
    // The backends tried before it, each with why it was passed over: "x11 (Wayland session)".
    QStringList passedOver;
};

// X11 in an X11 session, else the RemoteDesktop portal, else the compositor's virtual devices in
// a Wayland session, else uinput, else none.
InputBackendChoice chooseInputBackend(const InputSessionFacts& facts);
