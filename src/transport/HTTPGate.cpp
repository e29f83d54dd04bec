// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/HTTPGate.h"

#include "base/Log.h"
#include "transport/HTTPRequestHead.h"
#include "transport/HTTPResponder.h"
#include "transport/RequestOrigin.h"

#include <QTcpSocket>

namespace {
QString peerOf(const QTcpSocket& socket) {
    return socket.peerAddress().toString();
}

// A field as a log line shows it: short, whatever the peer sent.
QString shown(const std::optional<QByteArray>& field) {
    return field ? QString::fromLatin1(field->left(200)) : QStringLiteral("(none)");
}
}  // namespace

HTTPGate::HTTPGate(QTcpSocket* socket, const HTTPResponder& responder, const QStringList& ownNames,
                   qsizetype maxHeadBytes, HandOver toWebSocket)
    : QObject(socket),
      socket_(socket),
      responder_(responder),
      ownNames_(ownNames),
      maxHeadBytes_(maxHeadBytes),
      toWebSocket_(std::move(toWebSocket)) {
    connect(socket, &QTcpSocket::readyRead, this, &HTTPGate::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, [socket] { socket->deleteLater(); });
    // Bytes may have arrived before the gate was in place.
    if (socket->bytesAvailable() > 0) onReadyRead();
}

void HTTPGate::onReadyRead() {
    if (answered_) {
        // Whatever follows the request (a body, a second request) is not read: drained so
        // that closing does not reset the connection before the answer is delivered.
        socket_->readAll();
        return;
    }
    const QByteArray buffered = socket_->peek(maxHeadBytes_);
    const qsizetype length = HTTPRequestHead::lengthIn(buffered);
    if (length < 0) {
        if (buffered.size() >= maxHeadBytes_) {
            logLine(QStringLiteral("HTTP: request head over %1 bytes from %2; refused")
                        .arg(maxHeadBytes_)
                        .arg(peerOf(*socket_)));
            answer(HTTPResponder::refusal(431).bytes);
        }
        return;
    }
    const std::optional<HTTPRequestHead> request =
        HTTPRequestHead::parse(QByteArrayView(buffered).first(length));
    if (!request) {
        logLine(QStringLiteral("HTTP: malformed request from %1").arg(peerOf(*socket_)));
        answer(HTTPResponder::refusal(400).bytes);
        return;
    }
    if (const int status = RequestOrigin::refusal(*request, ownNames_)) {
        logLine(QStringLiteral("HTTP: request from %1 refused (%2): host %3, origin %4")
                    .arg(peerOf(*socket_))
                    .arg(status)
                    .arg(shown(request->header("Host")), shown(request->header("Origin"))));
        answer(HTTPResponder::refusal(status).bytes);
        return;
    }
    if (request->isWebSocketUpgrade()) {
        // The WebSocket server reads the head itself and takes over the socket's lifetime.
        disconnect(socket_, nullptr, this, nullptr);
        HandOver toWebSocket = std::move(toWebSocket_);
        QTcpSocket* socket = socket_;
        deleteLater();
        toWebSocket(socket);
        return;
    }
    const HTTPResponder::Response response = responder_.respond(*request);
    if (response.status == 200 && request->path() == "/")
        logLine(QStringLiteral("HTTP: page sent to %1").arg(peerOf(*socket_)));
    answer(response.bytes);
}

void HTTPGate::answer(const QByteArray& response) {
    answered_ = true;
    socket_->readAll();
    socket_->write(response);
    socket_->disconnectFromHost();
}
