// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class HTTPResponder;
class QTcpSocket;

// Reads the request head of a new connection, then sends the connection on: a WebSocket
// upgrade goes to the WebSocket server with every byte still unread, any other request is
// answered by the page's responder and the connection closed. Requests of pages on other
// sites are refused (see RequestOrigin). Lives on the server's queue as a child of the socket.
//
// A head costs what its bytes cost, however it is cut: each byte is copied and searched
// once, and a head that keeps arriving in small pieces is read ten times a second at most,
// the pieces meanwhile gathering in the system's buffer.
class HTTPGate : public QObject {
    Q_OBJECT
public:
    using HandOver = std::function<void(QTcpSocket*)>;

    HTTPGate(QTcpSocket* socket, const HTTPResponder& responder, const QStringList& ownNames,
             qsizetype maxHeadBytes, HandOver toWebSocket);

private:
    void onReadyRead();
    void onHead(qsizetype length);
    void pauseReading();
    void answer(const QByteArray& response);

    QTcpSocket* socket_;
    const HTTPResponder& responder_;
    const QStringList& ownNames_;
    const qsizetype maxHeadBytes_;
    const qint64 readBufferSize_;
    HandOver toWebSocket_;
    // What came so far; the socket keeps it too, unread, until the head is whole.
    QByteArray head_;
    int pieces_ = 0;
    QTimer resume_;
    bool answered_ = false;
};
