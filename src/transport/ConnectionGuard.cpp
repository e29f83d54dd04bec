// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/ConnectionGuard.h"

#include "transport/WaitingRoom.h"

#include <QHostAddress>

#include <atomic>

namespace {
std::atomic<quint64> accepted{0};
}  // namespace

ConnectionGuard::ConnectionGuard(QObject* socket, QByteArray source, WaitingRoom& room,
                                 std::chrono::milliseconds deadline, std::function<void()> abort)
    : QObject(socket),
      source_(std::move(source)),
      room_(room),
      abort_(std::move(abort)),
      order_(++accepted) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { abort_(); });
    deadline_.start(deadline);
    room_.enter(this);
}

ConnectionGuard::~ConnectionGuard() {
    release();
}

bool ConnectionGuard::messageArrived() {
    if (spoken_ || released_) return true;
    deadline_.stop();
    spoken_ = true;
    spokenAt_.start();
    return room_.spoke(this);
}

void ConnectionGuard::evict() {
    release();
    deadline_.stop();
    abort_();
}

void ConnectionGuard::release() {
    if (released_) return;
    released_ = true;
    room_.leave(this);
}

QByteArray ConnectionGuard::sourceOf(const QHostAddress& peer) {
    bool isIPv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIPv4);
    if (isIPv4) return "4:" + QByteArray::number(ipv4);
    const Q_IPV6ADDR ipv6 = peer.toIPv6Address();
    return "6:" + QByteArray(reinterpret_cast<const char*>(ipv6.c), 16).toHex();
}

QString ConnectionGuard::shown(const QHostAddress& peer) {
    bool isIPv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4).toString() : peer.toString();
}
