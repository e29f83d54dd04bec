// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/WSServer.h"

#include "base/Log.h"
#include "base/SerialQueue.h"
#include "router/Router.h"
#include "state/AppState.h"
#include "transport/ConnectionGuard.h"
#include "transport/HTTPGate.h"
#include "transport/HTTPResponder.h"
#include "transport/RequestOrigin.h"
#include "transport/WSConnection.h"

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

WSServer::WSServer(AppState& state, Router& router, Limits limits)
    : state_(state),
      router_(router),
      limits_(limits),
      queue_(std::make_shared<SerialQueue>(QStringLiteral("olvane.ws"))),
      page_(std::make_unique<HTTPResponder>()),
      ownNames_(RequestOrigin::ownNames()) {}

WSServer::~WSServer() {
    queue_->sync([this] {
        delete tcp_;
        delete ws_;
        tcp_ = nullptr;
        ws_ = nullptr;
    });
}

std::optional<QString> WSServer::start() {
    std::optional<QString> error;
    queue_->sync([&] {
        if (!listen(state_.wsPort)) {
            error = tcp_->errorString();
            return;
        }
        port_ = tcp_->serverPort();
        logLine(QStringLiteral("WS server on port %1").arg(port_));
    });
    return error;
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
        logLine(QStringLiteral("WS listener failed: %1").arg(tcp_->errorString()));
    });
    QObject::connect(ws_, &QWebSocketServer::newConnection, [this] { adoptPending(); });
    // Both address families; IPv4 alone where the system has no IPv6.
    return tcp_->listen(QHostAddress::Any, port) || tcp_->listen(QHostAddress::AnyIPv4, port);
}

void WSServer::acceptPending() {
    while (QTcpSocket* socket = tcp_->nextPendingConnection()) {
        // Room is made rather than refused: connections that stay unauthenticated, as many
        // as are allowed, would otherwise keep every phone out for as long as they wished.
        if (unauthenticated_ >= limits_.maxUnauthenticated) {
            if (!crowded_)
                logLine(QStringLiteral("WS: %1 connections await authentication; closing the "
                                       "oldest from the address that holds most")
                            .arg(unauthenticated_));
            crowded_ = true;
            evictFromBusiestSource();
        } else {
            crowded_ = false;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // What the socket takes from the system before it is parsed: a request head or a
        // whole frame fits, and the rest waits in the network.
        socket->setReadBufferSize(2 * limits_.maxMessageBytes);
        new ConnectionGuard(socket, ConnectionGuard::sourceOf(socket->peerAddress()),
                            unauthenticated_, limits_.firstMessageDeadline,
                            [socket] { socket->abort(); });
        new HTTPGate(socket, *page_, ownNames_, limits_.maxRequestHeadBytes,
                     [this](QTcpSocket* upgrading) { ws_->handleConnection(upgrading); });
    }
}

// A flood from one address must not push out a phone that connected from another: room is
// taken from the address with the most waiting connections, its oldest first.
void WSServer::evictFromBusiestSource() {
    struct Source {
        int waiting = 0;
        ConnectionGuard* oldest = nullptr;
    };
    QHash<QByteArray, Source> sources;
    for (ConnectionGuard* guard : tcp_->findChildren<ConnectionGuard*>()) {
        if (guard->released()) continue;
        Source& source = sources[guard->source()];
        ++source.waiting;
        if (!source.oldest || guard->order() < source.oldest->order()) source.oldest = guard;
    }
    // Between sources that hold as many, the one that has waited longest.
    const Source* busiest = nullptr;
    for (const Source& source : std::as_const(sources))
        if (!busiest || source.waiting > busiest->waiting ||
            (source.waiting == busiest->waiting &&
             source.oldest->order() < busiest->oldest->order()))
            busiest = &source;
    if (busiest) busiest->oldest->evict();
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
