// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/PortOwner.h"

#include <QFile>
#include <QList>

#include <pwd.h>
#include <unistd.h>

#include <array>

namespace {
// "sl local_address rem_address st ... uid ...": the address is "<hex ip>:<hex port>", and
// st 0A is LISTEN.
constexpr int kLocalAddress = 1;
constexpr int kState = 3;
constexpr int kUid = 7;
}  // namespace

std::optional<uint> PortOwner::listenerIn(QByteArrayView table, quint16 port) {
    for (QByteArrayView line : QByteArray::fromRawData(table.data(), table.size()).split('\n')) {
        const QList<QByteArray> fields = line.toByteArray().simplified().split(' ');
        if (fields.size() <= kUid || fields[kState] != "0A") continue;
        const QByteArray& local = fields[kLocalAddress];
        bool ok = false;
        if (local.sliced(local.lastIndexOf(':') + 1).toUInt(&ok, 16) != port || !ok) continue;
        const uint uid = fields[kUid].toUInt(&ok);
        if (ok) return uid;
    }
    return std::nullopt;
}

std::optional<uint> PortOwner::listenerOf(quint16 port) {
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly)) continue;
        if (const std::optional<uint> uid = listenerIn(file.readAll(), port)) return uid;
    }
    return std::nullopt;
}

QString PortOwner::userName(uint uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::array<char, 4096> buffer{};
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return QString::fromLocal8Bit(found->pw_name);
}
