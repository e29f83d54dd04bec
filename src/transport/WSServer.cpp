// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/WSServer.h"

#include "base/Log.h"
#include "base/MainThread.h"
#include "base/SerialQueue.h"
#include "router/Router.h"
#include "state/AppState.h"
#include "transport/ConnectionGuard.h"
#include "transport/HTTPGate.h"
#include "transport/HTTPResponder.h"
#include "transport/PortOwner.h"
#include "transport/RequestOrigin.h"
#include "transport/WSConnection.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {
constexpr std::chrono::seconds kRetryInterval{1};
}  // namespace

WSServer::WSServer(AppState& state, Router& router, Limits limits)
    : state_(state),
      router_(router),
      limits_(limits),
      queue_(std::make_shared<SerialQueue>(QStringLiteral("olvane.ws"))),
      page_(std::make_unique<HTTPResponder>()),
      ownNames_(RequestOrigin::ownNames()),
      room_(limits.maxUnauthenticated) {}

WSServer::~WSServer() {
    queue_->sync([this] {
        delete retry_;
        delete tcp_;
        delete ws_;
        retry_ = nullptr;
        tcp_ = nullptr;
        ws_ = nullptr;
    });
}

bool WSServer::start(std::function<void()> listening) {
    listening_ = std::move(listening);
    bool now = false;
    queue_->sync([&] {
        now = listen(state_.wsPort);
        if (now) return;
        reportTrouble();
        retry_ = new QTimer(queue_->context());
        QObject::connect(retry_, &QTimer::timeout, [this] { tryAgain(); });
        retry_->start(kRetryInterval);
    });
    return now;
}

bool WSServer::listen(quint16 port) {
    delete tcp_;
    delete ws_;
    tcp_ = new QTcpServer(queue_->context());
    ws_ = new QWebSocketServer(QStringLiteral("Olvane"), QWebSocketServer::NonSecureMode,
                               queue_->context());
    ws_->setHandshakeTimeout(limits_.firstMessageDeadline);
    QObject::connect(tcp_, &QTcpServer::newConnection, [this] { acceptPending(); });
    QObject::connect(tcp_, &QTcpServer::acceptError, [this](QAbstractSocket::SocketError) {
        logWarning(QStringLiteral("WS listener failed: %1").arg(tcp_->errorString()));
    });
    QObject::connect(ws_, &QWebSocketServer::newConnection, [this] { adoptPending(); });
    // Both address families; IPv4 alone where the system has no IPv6.
    if (!tcp_->listen(QHostAddress::Any, port) && !tcp_->listen(QHostAddress::AnyIPv4, port))
        return false;
    port_ = tcp_->serverPort();
    logLine(QStringLiteral("WS server on port %1").arg(port_));
    state_.setPortTrouble(std::nullopt);
    return true;
}

// Whoever holds the port may be a program of another user waiting for the tokens of phones
// that reconnect: the user must see it, and the port is taken back as soon as it is free.
void WSServer::reportTrouble() {
    PortTrouble trouble{
        state_.wsPort, tcp_->serverError() == QAbstractSocket::AddressInUseError, std::nullopt, {}};
    if (trouble.taken) trouble.ownerUid = PortOwner::listenerOf(state_.wsPort);
    if (trouble.ownerUid) trouble.ownerName = PortOwner::userName(*trouble.ownerUid);
    if (state_.portTrouble() == trouble) return;
    state_.setPortTrouble(trouble);
    const QString owner =
        trouble.ownerUid
            ? QStringLiteral(", held by uid %1 (%2)").arg(*trouble.ownerUid).arg(trouble.ownerName)
            : QString();
    logError(QStringLiteral("Server start failed: %1 (port %2%3); trying again every second")
                 .arg(tcp_->errorString())
                 .arg(trouble.port)
                 .arg(owner));
}

void WSServer::tryAgain() {
    if (!listen(state_.wsPort)) return reportTrouble();
    retry_->stop();
    if (listening_) postToMain(listening_);
}

void WSServer::acceptPending() {
    while (QTcpSocket* socket = tcp_->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // What the socket takes from the system before it is parsed: a request head or a
        // whole frame fits, and the rest waits in the network.
        socket->setReadBufferSize(2 * limits_.maxMessageBytes);
        new ConnectionGuard(socket, ConnectionGuard::sourceOf(socket->peerAddress()), room_,
                            limits_.firstMessageDeadline, [socket] { socket->abort(); });
        new HTTPGate(socket, *page_, ownNames_, limits_.maxRequestHeadBytes,
                     [this](QTcpSocket* upgrading) { ws_->handleConnection(upgrading); });
    }
}

// The upgraded socket keeps its TCP connection, which carries the guard; the peer endpoint
// names that connection uniquely.
QTcpSocket* WSServer::tcpSocketOf(const QWebSocket& socket) const {
    for (QTcpSocket* tcp : tcp_->findChildren<QTcpSocket*>())
        if (tcp->peerPort() == socket.peerPort() && tcp->peerAddress() == socket.peerAddress())
            return tcp;
    return nullptr;
}

void WSServer::adoptPending() {
    while (QWebSocket* socket = ws_->nextPendingConnection()) {
        socket->setMaxAllowedIncomingFrameSize(quint64(limits_.maxMessageBytes));
        socket->setMaxAllowedIncomingMessageSize(quint64(limits_.maxMessageBytes));
        new WSConnection(socket, tcpSocketOf(*socket), router_, queue_);
    }
}
