// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/WSConnection.h"

#include "base/Log.h"
#include "base/SerialQueue.h"
#include "router/Router.h"
#include "transport/ConnectionGuard.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QWebSocket>

namespace {
// What a client leaves unread piles up in memory, whoever wrote it: our replies, or the
// pongs the WebSocket layer sends by itself. Past this much the client is cut off.
constexpr qint64 kMaxUnsentBytes = qint64{256} * 1024;

void cutOffWhenBacklogged(QWebSocket& socket) {
    // What the system takes at once leaves the buffer; what stays is what the peer left unread.
    socket.flush();
    if (socket.bytesToWrite() <= kMaxUnsentBytes) return;
    logWarning(QStringLiteral("WS client leaves %1 bytes unread; closing the connection")
                   .arg(socket.bytesToWrite()));
    socket.abort();
}

void sendText(QWebSocket& socket, const QString& text) {
    socket.sendTextMessage(text);
    cutOffWhenBacklogged(socket);
}

// Runs on the server's queue: at once when already there, else posted. Does nothing once the
// server or the socket is gone.
void onSocket(const std::weak_ptr<SerialQueue>& weakQueue, const QPointer<QWebSocket>& socket,
              std::function<void(QWebSocket&)> action) {
    const std::shared_ptr<SerialQueue> queue = weakQueue.lock();
    if (!queue) return;
    auto run = [socket, action = std::move(action)] {
        if (socket) action(*socket);
    };
    if (queue->isCurrent())
        run();
    else
        queue->async(std::move(run));
}
}  // namespace

WSConnection::WSConnection(QWebSocket* socket, QTcpSocket* tcp, Router& router,
                           std::weak_ptr<SerialQueue> queue)
    : QObject(socket),
      socket_(socket),
      guard_(tcp ? tcp->findChild<ConnectionGuard*>() : nullptr),
      router_(router) {
    const QPointer<QWebSocket> weakSocket(socket);
    session_ = std::make_shared<ClientSession>(
        [queue, weakSocket](const QJsonObject& message) {
            const QString text =
                QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
            onSocket(queue, weakSocket, [text](QWebSocket& s) { sendText(s, text); });
        },
        [queue, weakSocket] { onSocket(queue, weakSocket, [](QWebSocket& s) { s.close(); }); });

    connect(socket, &QWebSocket::textMessageReceived, this, &WSConnection::onText);
    connect(socket, &QWebSocket::binaryMessageReceived, this, &WSConnection::onBinary);
    connect(socket, &QWebSocket::disconnected, this, &WSConnection::onDisconnected);
    // Queued after the WebSocket's own handling of the same bytes, which may have answered
    // pings in them.
    if (tcp)
        connect(
            tcp, &QTcpSocket::readyRead, this, [this] { cutOffWhenBacklogged(*socket_); },
            Qt::QueuedConnection);
}

void WSConnection::onText(const QString& text) {
    if (!admitted()) return;
    if (!text.isEmpty()) router_.handleText(text.toUtf8(), session_);
    afterMessage();
}

void WSConnection::onBinary(const QByteArray& bytes) {
    if (!admitted()) return;
    if (!bytes.isEmpty()) router_.handleBinary(bytes, session_);
    afterMessage();
}

bool WSConnection::admitted() {
    return !guard_ || guard_->messageArrived();
}

void WSConnection::afterMessage() {
    if (session_->authed && guard_) guard_->release();
    // This queue may wait: the sockets then stay unread and TCP slows every sender down.
    router_.throttle();
}

void WSConnection::onDisconnected() {
    // Qt closes a connection whose message is too large without saying how large.
    if (socket_->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData)
        logWarning(
            QStringLiteral("WS: message over %1 bytes from %2 (%3); connection closed")
                .arg(socket_->maxAllowedIncomingMessageSize())
                .arg(ConnectionGuard::shown(socket_->peerAddress()), socket_->closeReason()));
    router_.sessionEnded(*session_);
    socket_->deleteLater();
}
