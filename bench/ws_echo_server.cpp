// SPDX-License-Identifier: GPL-3.0-or-later
// The floor the agent is measured against: a trivial Qt WebSocket server, accepting the way
// the agent does (TCP without delay), that answers every message except moves (which the agent
// does not answer either) with the message itself. Listens on $OLVANE_WS_PORT (0: any free
// port) and prints the port.
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTcpServer tcp;
    QWebSocketServer ws(QStringLiteral("echo"), QWebSocketServer::NonSecureMode);
    QObject::connect(&tcp, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = tcp.nextPendingConnection()) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            ws.handleConnection(socket);
        }
    });
    QObject::connect(&ws, &QWebSocketServer::newConnection, [&] {
        while (QWebSocket* socket = ws.nextPendingConnection()) {
            QObject::connect(socket, &QWebSocket::textMessageReceived,
                             [socket](const QString& text) {
                                 if (!text.startsWith(QLatin1String("{\"t\":\"mv\"")))
                                     socket->sendTextMessage(text);
                             });
            QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    if (!tcp.listen(QHostAddress::Any, quint16(qEnvironmentVariableIntValue("OLVANE_WS_PORT")))) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(tcp.errorString()));
        return 1;
    }
    std::printf("port %u\n", tcp.serverPort());
    std::fflush(stdout);
    return app.exec();
}
