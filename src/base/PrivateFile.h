// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// A file only its user may read, for credentials: its folder is created with mode 0700 when
// missing, and the file is replaced atomically with mode 0600, so a crash never leaves half
// of it.
class PrivateFile {
public:
    static bool write(const QString& path, const QByteArray& bytes);

    struct Contents {
        enum class State { Read, Missing, Refused } state = State::Missing;
        QByteArray bytes;
        // Why it was refused.
        QString why;
    };
    // Reads a regular file of at most maxBytes, never blocking: whatever else the path leads
    // to (a pipe, a device, a link) or a larger file is refused unread.
    static Contents read(const QString& path, qint64 maxBytes);
};
