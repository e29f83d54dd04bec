// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/SecretCompare.h"

#include <QByteArray>

bool secretEquals(const QString& secret, const QString& candidate) {
    const QByteArray a = secret.toUtf8();
    const QByteArray b = candidate.toUtf8();
    unsigned diff = unsigned(a.size() ^ b.size());
    // Walk the whole candidate whatever its length, comparing against the secret cyclically.
    const qsizetype n = b.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char x = a.isEmpty() ? 0 : static_cast<unsigned char>(a[i % a.size()]);
        diff |= unsigned(x ^ static_cast<unsigned char>(b[i]));
    }
    return diff == 0;
}
