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
};
