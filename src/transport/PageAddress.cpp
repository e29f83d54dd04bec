// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/PageAddress.h"

#include <QHostInfo>
#include <QNetworkInterface>

namespace {
// Bridges of containers and virtual machines, and tunnels, which a phone on the local
// network cannot reach.
bool isVirtual(const QString& interfaceName) {
    static const QStringList prefixes{
        QStringLiteral("docker"), QStringLiteral("br-"),     QStringLiteral("veth"),
        QStringLiteral("virbr"),  QStringLiteral("vmnet"),   QStringLiteral("vboxnet"),
        QStringLiteral("lxcbr"),  QStringLiteral("lxdbr"),   QStringLiteral("podman"),
        QStringLiteral("cni"),    QStringLiteral("flannel"), QStringLiteral("tun"),
        QStringLiteral("tap"),    QStringLiteral("wg"),      QStringLiteral("tailscale"),
        QStringLiteral("zt"),
    };
    for (const QString& prefix : prefixes)
        if (interfaceName.startsWith(prefix)) return true;
    return false;
}

bool isPrivate(const QHostAddress& address) {
    return address.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16) ||
           address.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8) ||
           address.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12);
}

// Higher is likelier to be the address a phone on the same network reaches; below zero is
// no use at all.
int score(const PageAddress::Candidate& candidate) {
    const QHostAddress& address = candidate.address;
    if (!candidate.usable || address.protocol() != QAbstractSocket::IPv4Protocol ||
        address.isLoopback() || address.isLinkLocal())
        return -1;
    return (isVirtual(candidate.interfaceName) ? 0 : 2) + (isPrivate(address) ? 1 : 0);
}

// Avahi publishes the computer's name in the .local domain.
QString fallbackHost(const QString& hostName) {
    if (hostName.isEmpty()) return QStringLiteral("localhost");
    return hostName.contains(QLatin1Char('.')) ? hostName : hostName + QStringLiteral(".local");
}
}  // namespace

QUrl PageAddress::choose(const QList<Candidate>& candidates, const QString& hostName,
                         quint16 port) {
    const Candidate* best = nullptr;
    for (const Candidate& candidate : candidates)
        if (score(candidate) >= 0 && (!best || score(candidate) > score(*best))) best = &candidate;
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    if (best)
        url.setHost(best->address.toString());
    else
        url.setHost(fallbackHost(hostName));
    url.setPort(port);
    url.setPath(QStringLiteral("/"));
    return url;
}

QUrl PageAddress::current(quint16 port) {
    QList<Candidate> candidates;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        const bool usable = flags.testFlag(QNetworkInterface::IsUp) &&
                            flags.testFlag(QNetworkInterface::IsRunning) &&
                            !flags.testFlag(QNetworkInterface::IsLoopBack);
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            candidates.append({interface.name(), usable, entry.ip()});
    }
    return choose(candidates, QHostInfo::localHostName(), port);
}
