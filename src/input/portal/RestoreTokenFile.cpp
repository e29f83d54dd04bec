// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/RestoreTokenFile.h"

#include "base/Log.h"
#include "base/PrivateFile.h"

#include <QFile>
#include <QStandardPaths>

RestoreTokenFile::RestoreTokenFile(QString path) : path_(std::move(path)) {}

QString RestoreTokenFile::defaultPath() {
    // Beside the token list (tokens.json).
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/olvane/portal-restore-token");
}

QString RestoreTokenFile::read() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

void RestoreTokenFile::write(const QString& token) const {
    if (!PrivateFile::write(path_, token.toUtf8() + '\n'))
        logLine(QStringLiteral("Input: cannot save the desktop portal's restore token in %1; the "
                               "desktop will ask again at the next start")
                    .arg(path_));
}

void RestoreTokenFile::remove() const {
    if (QFile::exists(path_) && !QFile::remove(path_))
        logLine(QStringLiteral("Input: cannot remove the spent restore token %1").arg(path_));
}
