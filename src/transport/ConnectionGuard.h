// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>

class QHostAddress;

// Bounds what a connection that has not authenticated may cost. Attached to the socket as a
// child, it counts the connection among the unauthenticated ones until release(), and aborts
// the socket when neither the handshake nor a first message arrives before the deadline, or
// when it is evicted to make room for a newer connection.
class ConnectionGuard : public QObject {
    Q_OBJECT
public:
    ConnectionGuard(QObject* socket, QByteArray source, int& unauthenticated,
                    std::chrono::milliseconds deadline, std::function<void()> abort);
    ~ConnectionGuard() override;

    void messageArrived() { deadline_.stop(); }
    void release();
    // Ends the connection; it no longer counts at once.
    void evict();
    bool released() const { return released_; }
    // Connections accepted later have higher numbers.
    quint64 order() const { return order_; }
    // Where the connection comes from (see sourceOf).
    const QByteArray& source() const { return source_; }
    // Connections from one machine share a source: its IPv4 address, or its IPv6 /64, all of
    // which one machine may hold.
    static QByteArray sourceOf(const QHostAddress& peer);

private:
    const QByteArray source_;
    int& unauthenticated_;
    bool released_ = false;
    const std::function<void()> abort_;
    const quint64 order_;
    QTimer deadline_;
};
