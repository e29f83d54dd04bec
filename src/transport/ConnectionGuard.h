// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class QHostAddress;
class WaitingRoom;

// Bounds what a connection that has not authenticated may cost. Attached to the socket as a
// child, it holds the connection's place in the waiting room until release(), and aborts the
// socket when neither the handshake nor a first message arrives before the deadline, or when
// the room makes it leave for another connection.
class ConnectionGuard : public QObject {
    Q_OBJECT
public:
    ConnectionGuard(QObject* socket, QByteArray source, WaitingRoom& room,
                    std::chrono::milliseconds deadline, std::function<void()> abort);
    ~ConnectionGuard() override;

    // The first message came: the deadline no longer holds. False when the connection had to
    // leave for room, and is ending.
    bool messageArrived();
    void release();
    // Ends the connection; it no longer holds a place at once.
    void evict();
    bool spoken() const { return spoken_; }
    bool released() const { return released_; }
    // Connections accepted later have higher numbers.
    quint64 order() const { return order_; }
    // Milliseconds since the first message; 0 before it.
    qint64 waitedSinceSpoken() const { return spoken_ ? spokenAt_.elapsed() : 0; }
    // Where the connection comes from (see sourceOf).
    const QByteArray& source() const { return source_; }
    // The peer's full address: every device on a network, even behind one router's IPv6
    // prefix, has its own.
    static QByteArray sourceOf(const QHostAddress& peer);
    // The peer's address as log lines show it: an IPv4 peer of the IPv6 socket as IPv4.
    static QString shown(const QHostAddress& peer);

private:
    const QByteArray source_;
    WaitingRoom& room_;
    bool spoken_ = false;
    bool released_ = false;
    const std::function<void()> abort_;
    const quint64 order_;
    QTimer deadline_;
    QElapsedTimer spokenAt_;
};
