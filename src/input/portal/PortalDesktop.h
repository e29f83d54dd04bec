// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/KeyPacer.h"

#include <QString>
#include <QStringList>

// What the desktop behind the portal does differently from what the portal's interface says,
// told by the names its compositor owns on the session bus. Measured on Debian 12: mutter 43
// and KWin 5.27 with their portals.
class PortalDesktop {
public:
    enum class Kind { Other, Gnome, Kde };

    static Kind fromBusNames(const QStringList& names);
    explicit PortalDesktop(Kind kind = Kind::Other) : kind_(kind) {}

    Kind kind() const { return kind_; }
    QString name() const;
    // The sign that makes the portal's vertical axis grow downward: KDE's portal turns it.
    double verticalAxisSign() const { return kind_ == Kind::Kde ? -1 : 1; }
    // KDE's portal drops the "finish" of an axis event; a discrete step of 0 ends the scroll.
    bool endsScrollByDiscreteStep() const { return kind_ == Kind::Kde; }
    // KDE's portal types keysyms through a US keymap until it has learnt the compositor's:
    // the first keys of a session come out wrong on other layouts. Keys go by their codes.
    bool typesByKeycode() const { return kind_ == Kind::Kde; }
    // What a program stopped for 2 s survives, with room to spare: KWin dropped it at 520 key
    // events (460 went), mutter at 460 (400 went).
    KeyPacer::Pace keyPace() const;

private:
    Kind kind_;
};
