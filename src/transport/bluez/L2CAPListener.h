// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/UniqueFd.h"
#include "transport/ble/ChannelSocket.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <functional>
#include <optional>

// A listening socket that phones open channels on, and the PSM they reach it by. Lives on
// one thread; accepted sockets are handed on as channels.
class L2CAPListener : public QObject {
    Q_OBJECT
public:
    struct Listening {
        UniqueFd fd;  // listening, non-blocking; none when opening failed
        quint16 psm = 0;
        QString error;
    };
    // Where listening sockets come from: the kernel's L2CAP, or a stand-in in tests.
    using Source = std::function<Listening()>;
    using OnAccepted =
        std::function<void(std::optional<ChannelSocket> channel, std::optional<QString> error)>;

    // An L2CAP LE connection-oriented socket without encryption, on a PSM the kernel picks.
    static Listening listenLe();

    // Takes over the listening socket.
    L2CAPListener(Listening listening, OnAccepted onAccepted, QObject* parent = nullptr);
    ~L2CAPListener() override;

    quint16 psm() const { return psm_; }

private:
    void acceptPending();
    void pauseAfterError();

    const UniqueFd fd_;
    const quint16 psm_;
    OnAccepted onAccepted_;
    QSocketNotifier notifier_;
};
