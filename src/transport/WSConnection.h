// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/ClientSession.h"

#include <QObject>
#include <QPointer>

#include <memory>

class ConnectionGuard;
class QTcpSocket;
class QWebSocket;
class Router;
class SerialQueue;

// One accepted WebSocket: its session, its messages to the router in order, and the end of
// the connection. Lives on the server's queue as a child of the socket.
class WSConnection : public QObject {
    Q_OBJECT
public:
    // tcp is the connection under the WebSocket, which carries the guard.
    WSConnection(QWebSocket* socket, QTcpSocket* tcp, Router& router,
                 std::weak_ptr<SerialQueue> queue);

private:
    void onText(const QString& text);
    void onBinary(const QByteArray& bytes);
    // Whether the message may be handled: a first message may make the connection leave.
    bool admitted();
    void afterMessage();
    void onDisconnected();

    QWebSocket* socket_;
    QPointer<ConnectionGuard> guard_;
    Router& router_;
    std::shared_ptr<ClientSession> session_;
};
