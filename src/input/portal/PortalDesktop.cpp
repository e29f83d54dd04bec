// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/PortalDesktop.h"

PortalDesktop::Kind PortalDesktop::fromBusNames(const QStringList& names) {
    if (names.contains(QLatin1String("org.kde.KWin"))) return Kind::Kde;
    if (names.contains(QLatin1String("org.gnome.Mutter.RemoteDesktop"))) return Kind::Gnome;
    return Kind::Other;
}

QString PortalDesktop::name() const {
    switch (kind_) {
        case Kind::Kde:
            return QStringLiteral("KDE");
        case Kind::Gnome:
            return QStringLiteral("GNOME");
        case Kind::Other:
            break;
    }
    return QStringLiteral("another desktop");
}

KeyPacer::Pace PortalDesktop::keyPace() const {
    switch (kind_) {
        case Kind::Kde:
            return {40, 170};
        case Kind::Gnome:
            return {40, 150};
        case Kind::Other:
            break;
    }
    return {40, 150};
}
