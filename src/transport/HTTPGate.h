// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class HTTPResponder;
class QTcpSocket;

// Reads the request head of a new connection without taking it from the socket, then sends
// the connection on: a WebSocket upgrade goes to the WebSocket server with every byte still
// unread, any other request is answered by the page's responder and the connection closed.
// Requests of pages on other sites are refused (see RequestOrigin).
// Lives on the server's queue as a child of the socket.
class HTTPGate : public QObject {
    Q_OBJECT
public:
    using HandOver = std::function<void(QTcpSocket*)>;

    HTTPGate(QTcpSocket* socket, const HTTPResponder& responder, const QStringList& ownNames,
             qsizetype maxHeadBytes, HandOver toWebSocket);

private:
    void onReadyRead();
    void answer(const QByteArray& response);

    QTcpSocket* socket_;
    const HTTPResponder& responder_;
    const QStringList& ownNames_;
    const qsizetype maxHeadBytes_;
    HandOver toWebSocket_;
    bool answered_ = false;
};
