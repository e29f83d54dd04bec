// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Who listens on a TCP port of this computer, as the kernel tells any user in
// /proc/net/tcp and /proc/net/tcp6 (no privilege needed, unlike the program's name).
class PortOwner {
public:
    // The user id of a socket listening on the port, from the text of such a table.
    static std::optional<uint> listenerIn(QByteArrayView table, quint16 port);
    // From the tables of this network namespace.
    static std::optional<uint> listenerOf(quint16 port);
    // The name of the user, or an empty text.
    static QString userName(uint uid);
};
