// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/HTTPGate.h"

#include "base/Log.h"
#include "transport/ConnectionGuard.h"
#include "transport/HTTPRequestHead.h"
#include "transport/HTTPResponder.h"
#include "transport/RequestOrigin.h"

#include <QTcpSocket>

namespace {
// A head in two pieces is common enough (a slow network); from the third on, the sender is
// slow or trickling on purpose.
constexpr int kPiecesReadAtOnce = 2;
constexpr std::chrono::milliseconds kPieceInterval{100};
constexpr qsizetype kLongestFieldShown = 64;

QString peerOf(const QTcpSocket& socket) {
    return ConnectionGuard::shown(socket.peerAddress());
}

// A field as a log line shows it: short, whatever the peer sent.
QString shown(const std::optional<QByteArray>& field) {
    if (!field) return QStringLiteral("(none)");
    const QString text = QString::fromLatin1(field->left(kLongestFieldShown));
    return field->size() > kLongestFieldShown ? text + QStringLiteral("…") : text;
}
}  // namespace

HTTPGate::HTTPGate(QTcpSocket* socket, const HTTPResponder& responder, const QStringList& ownNames,
                   qsizetype maxHeadBytes, HandOver toWebSocket)
    : QObject(socket),
      socket_(socket),
      responder_(responder),
      ownNames_(ownNames),
      maxHeadBytes_(maxHeadBytes),
      readBufferSize_(socket->readBufferSize()),
      toWebSocket_(std::move(toWebSocket)) {
    // Read within a transaction, the head stays in the socket for the WebSocket server.
    socket->startTransaction();
    resume_.setSingleShot(true);
    connect(&resume_, &QTimer::timeout, this,
            [this] { socket_->setReadBufferSize(readBufferSize_); });
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
    const qsizetype searched = head_.size();
    head_ += socket_->read(maxHeadBytes_ - head_.size());
    const qsizetype length = HTTPRequestHead::lengthIn(head_, searched);
    if (length >= 0) return onHead(length);
    if (head_.size() >= maxHeadBytes_) {
        logWarning(QStringLiteral("HTTP: request head over %1 bytes from %2; refused")
                       .arg(maxHeadBytes_)
                       .arg(peerOf(*socket_)));
        return answer(HTTPResponder::refusal(431).bytes);
    }
    if (++pieces_ >= kPiecesReadAtOnce && !head_.isEmpty()) pauseReading();
}

// A full read buffer is how a socket is told to stop reading: the system keeps what comes
// meanwhile, and hands it over in one piece once the buffer is made larger again.
void HTTPGate::pauseReading() {
    socket_->setReadBufferSize(head_.size());
    resume_.start(kPieceInterval);
}

void HTTPGate::onHead(qsizetype length) {
    const std::optional<HTTPRequestHead> request =
        HTTPRequestHead::parse(QByteArrayView(head_).first(length));
    if (!request) {
        logWarning(QStringLiteral("HTTP: malformed request from %1").arg(peerOf(*socket_)));
        return answer(HTTPResponder::refusal(400).bytes);
    }
    if (const int status = RequestOrigin::refusal(*request, ownNames_)) {
        logWarning(QStringLiteral("HTTP: request from %1 refused (%2): host %3, origin %4")
                       .arg(peerOf(*socket_))
                       .arg(status)
                       .arg(shown(request->header("Host")), shown(request->header("Origin"))));
        return answer(HTTPResponder::refusal(status).bytes);
    }
    if (request->isWebSocketUpgrade()) {
        // The WebSocket server reads the head itself and takes over the socket's lifetime.
        disconnect(socket_, nullptr, this, nullptr);
        socket_->rollbackTransaction();
        socket_->setReadBufferSize(readBufferSize_);
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
    resume_.stop();
    socket_->commitTransaction();
    socket_->setReadBufferSize(readBufferSize_);
    socket_->readAll();
    socket_->write(response);
    socket_->disconnectFromHost();
}
