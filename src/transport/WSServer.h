// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/WaitingRoom.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class AppState;
class HTTPResponder;
class QWebSocket;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocketServer;
class Router;
class SerialQueue;

// The local-network transport: WebSocket (RFC 6455) over plain TCP on every address, one
// session per connection, messages handed to the router on the "olvane.ws" queue. The same
// port serves the touchpad page to browsers over plain HTTP.
class WSServer {
public:
    struct Limits {
        qint64 maxMessageBytes = 64 * 1024;
        // Places for connections that have not authenticated: as many for those that have sent
        // nothing yet as for those that have (see WaitingRoom).
        int maxUnauthenticated = 32;
        std::chrono::milliseconds firstMessageDeadline{10000};
        // A request head (WebSocket upgrade or page request) larger than this is refused.
        qsizetype maxRequestHeadBytes = 16 * 1024;
    };

    WSServer(AppState& state, Router& router, Limits limits);
    WSServer(AppState& state, Router& router) : WSServer(state, router, Limits{}) {}
    ~WSServer();

    // Listens on the state's port, and says whether it does now. When it cannot (another
    // program holds the port), it says why in the log and in the state, tries again every
    // second, and calls listening on the main thread once it can.
    bool start(std::function<void()> listening = {});
    // The port actually listened on (the configured one may be 0), or 0 before start().
    quint16 port() const { return port_; }

private:
    void acceptPending();
    void adoptPending();
    QTcpSocket* tcpSocketOf(const QWebSocket& socket) const;
    bool listen(quint16 port);
    void tryAgain();
    void reportTrouble();

    AppState& state_;
    Router& router_;
    const Limits limits_;
    std::shared_ptr<SerialQueue> queue_;
    std::unique_ptr<const HTTPResponder> page_;
    // The names of this computer a browser may use in Host.
    const QStringList ownNames_;
    // Owned by the queue's thread.
    QTcpServer* tcp_ = nullptr;
    QWebSocketServer* ws_ = nullptr;
    QTimer* retry_ = nullptr;
    std::function<void()> listening_;
    WaitingRoom room_;
    std::atomic<quint16> port_ = 0;
};
