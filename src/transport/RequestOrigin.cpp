// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/RequestOrigin.h"

#include "transport/HTTPRequestHead.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSysInfo>

namespace {
// The name in a Host field, without its port or the brackets of an IPv6 address.
QByteArray nameIn(const QByteArray& host) {
    if (host.startsWith('[')) {
        const qsizetype end = host.indexOf(']');
        return end < 0 ? QByteArray() : host.sliced(1, end - 1);
    }
    const qsizetype colon = host.indexOf(':');
    return colon < 0 ? host : host.first(colon);
}
}  // namespace

int RequestOrigin::refusal(const HTTPRequestHead& request, const QStringList& ownNames) {
    const std::optional<QByteArray> origin = request.header("Origin");
    if (request.isWebSocketUpgrade() && !origin) return 0;
    const std::optional<QByteArray> host = request.header("Host");
    // Browsers always name the host; other clients cannot be led here by a name.
    if (!host) return 0;
    if (!namesThisComputer(nameIn(*host), ownNames)) return 421;
    if (request.isWebSocketUpgrade() &&
        origin->compare("http://" + *host, Qt::CaseInsensitive) != 0)
        return 403;
    return 0;
}

bool RequestOrigin::namesThisComputer(const QByteArray& host, const QStringList& ownNames) {
    if (host.isEmpty()) return false;
    if (!QHostAddress(QString::fromLatin1(host)).isNull()) return true;
    QString name = QString::fromLatin1(host).toLower();
    if (name.endsWith(QLatin1Char('.'))) name.chop(1);
    // Names in .local are answered on the local link only (mDNS), never by a site's servers.
    if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost")) ||
        name.endsWith(QLatin1String(".local")))
        return true;
    return ownNames.contains(name, Qt::CaseInsensitive);
}

QStringList RequestOrigin::ownNames() {
    const QString host = QSysInfo::machineHostName().toLower();
    if (host.isEmpty()) return {};
    QStringList names{host};
    const QString domain = QHostInfo::localDomainName().toLower();
    if (!domain.isEmpty() && !host.contains(QLatin1Char('.')))
        names.append(host + QLatin1Char('.') + domain);
    return names;
}
