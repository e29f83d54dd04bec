// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/L2CAPListener.h"

#include "transport/bluez/L2CAPAddress.h"

#include <QTimer>

#include <sys/socket.h>

#include <cerrno>

namespace {
constexpr int kBacklog = 8;
// Reads are done in chunks of this size, and a packet socket cuts longer packets: ask the
// phone for packets no longer than that.
constexpr quint16 kReceiveMtu = 4096;
// When the system is out of descriptors or memory the pending connection stays queued; give
// it a moment instead of failing in a busy loop.
constexpr int kPauseAfterErrorMs = 1000;

L2CAPListener::Listening failure(const char* step) {
    return {{}, 0, QStringLiteral("L2CAP %1: %2").arg(QLatin1String(step), qt_error_string(errno))};
}

// What one write may carry: the link's outgoing MTU, when the socket tells it.
qsizetype sendMtu(int fd) {
    quint16 mtu = 0;
    socklen_t length = sizeof mtu;
    if (::getsockopt(fd, SOL_BLUETOOTH, BT_SNDMTU, &mtu, &length) != 0) return 0;
    return mtu;
}
}  // namespace

L2CAPListener::Listening L2CAPListener::listenLe() {
    UniqueFd socket(
        ::socket(AF_BLUETOOTH, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, BTPROTO_L2CAP));
    if (!socket.valid()) return failure("socket");
    const int fd = socket.get();
    bt_security security{};
    security.level = BT_SECURITY_LOW;
    if (::setsockopt(fd, SOL_BLUETOOTH, BT_SECURITY, &security, sizeof security) != 0)
        return failure("security");
    const sockaddr_l2 address = L2CAPAddress::leListening();
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return failure("bind");
    // Taken only once bound to an LE address. Should it fail, the default (672) fits too.
    const quint16 mtu = kReceiveMtu;
    ::setsockopt(fd, SOL_BLUETOOTH, BT_RCVMTU, &mtu, sizeof mtu);
    if (::listen(fd, kBacklog) != 0) return failure("listen");
    sockaddr_l2 bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return failure("getsockname");
    const std::optional<quint16> psm = L2CAPAddress::psm(bound, length);
    if (!psm || *psm == 0) return {{}, 0, QStringLiteral("L2CAP: the kernel assigned no PSM")};
    return {std::move(socket), *psm, {}};
}

L2CAPListener::L2CAPListener(Listening listening, OnAccepted onAccepted, QObject* parent)
    : QObject(parent),
      fd_(std::move(listening.fd)),
      psm_(listening.psm),
      onAccepted_(std::move(onAccepted)),
      notifier_(fd_.get(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, &L2CAPListener::acceptPending);
}

L2CAPListener::~L2CAPListener() {
    // Before the descriptor closes with fd_.
    notifier_.setEnabled(false);
}

void L2CAPListener::acceptPending() {
    for (;;) {
        UniqueFd accepted(::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (accepted.valid()) {
            const qsizetype mtu = sendMtu(accepted.get());
            onAccepted_(ChannelSocket(std::move(accepted), mtu), std::nullopt);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        const int error = errno;
        if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
            pauseAfterError();
        onAccepted_(std::nullopt, qt_error_string(error));
        return;
    }
}

void L2CAPListener::pauseAfterError() {
    notifier_.setEnabled(false);
    QTimer::singleShot(kPauseAfterErrorMs, this, [this] { notifier_.setEnabled(true); });
}
