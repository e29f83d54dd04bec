// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUrl>

// The address of the touchpad page as a phone on the same network would type it: the
// computer's most likely local IPv4 address, else its host name.
class PageAddress {
public:
    struct Candidate {
        QString interfaceName;
        // Up, running, not loopback.
        bool usable = true;
        QHostAddress address;
    };

    static QUrl choose(const QList<Candidate>& candidates, const QString& hostName, quint16 port);
    // From the computer's interfaces as they are now.
    static QUrl current(quint16 port);
};
