// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/ConnectionGuard.h"

#include <QHostAddress>

#include <atomic>

namespace {
std::atomic<quint64> accepted{0};
}  // namespace

ConnectionGuard::ConnectionGuard(QObject* socket, QByteArray source, int& unauthenticated,
                                 std::chrono::milliseconds deadline, std::function<void()> abort)
    : QObject(socket),
      source_(std::move(source)),
      unauthenticated_(unauthenticated),
      abort_(std::move(abort)),
      order_(++accepted) {
    ++unauthenticated_;
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { abort_(); });
    deadline_.start(deadline);
}

ConnectionGuard::~ConnectionGuard() {
    release();
}

void ConnectionGuard::evict() {
    release();
    deadline_.stop();
    abort_();
}

void ConnectionGuard::release() {
    if (released_) return;
    released_ = true;
    --unauthenticated_;
}

QByteArray ConnectionGuard::sourceOf(const QHostAddress& peer) {
    bool isIPv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIPv4);
    if (isIPv4) return "4:" + QByteArray::number(ipv4);
    const Q_IPV6ADDR ipv6 = peer.toIPv6Address();
    return "6:" + QByteArray(reinterpret_cast<const char*>(ipv6.c), 8).toHex();
}
