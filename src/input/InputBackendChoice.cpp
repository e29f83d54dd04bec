// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/InputBackendChoice.h"

InputBackendChoice chooseInputBackend(const InputSessionFacts& facts) {
    InputBackendChoice choice;
    if (facts.x11Display && !facts.waylandDisplay) {
        choice.backend = QStringLiteral("x11");
        return choice;
    }
    // XTEST under XWayland reaches only the X11 windows of a Wayland session.
    choice.passedOver << (facts.waylandDisplay
                              ? QStringLiteral("x11 (Wayland session)")
                              : QStringLiteral("x11 (no X11 session: DISPLAY is not set)"));
    if (facts.remoteDesktopPortal && facts.remoteDesktopPortal()) {
        choice.backend = QStringLiteral("portal");
        return choice;
    }
    choice.passedOver << QStringLiteral("portal (no RemoteDesktop desktop portal answers)");
    if (facts.waylandDisplay && facts.wlrootsVirtualInput && facts.wlrootsVirtualInput()) {
        choice.backend = QStringLiteral("wlroots");
        return choice;
    }
    choice.passedOver << (facts.waylandDisplay
                              ? QStringLiteral("wlroots (the compositor offers no virtual "
                                               "pointer and keyboard)")
                              : QStringLiteral("wlroots (no Wayland session)"));
    if (facts.uinputWritable && facts.uinputWritable()) {
        choice.backend = QStringLiteral("uinput");
        return choice;
    }
    choice.passedOver << QStringLiteral("uinput (/dev/uinput is not writable)");
    choice.backend = QStringLiteral("none");
    return choice;
}
