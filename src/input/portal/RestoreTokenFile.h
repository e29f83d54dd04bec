// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The desktop portal's restore token: it stands for the user's consent, so that the next
// session starts without asking. It is a credential: kept beside the token list, readable
// only by the user. Each token serves once; every started session brings the next one.
class RestoreTokenFile {
public:
    explicit RestoreTokenFile(QString path);
    // "portal-restore-token" in the folder of the token list.
    static QString defaultPath();

    // The token, or an empty string when there is none.
    QString read() const;
    void write(const QString& token) const;
    void remove() const;
    const QString& path() const { return path_; }

private:
    QString path_;
};
