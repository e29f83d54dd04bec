#include "router/RouterHarness.h"
#include "support/LogCapture.h"
#include "support/Wait.h"
#include "transport/WSServer.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QWebSocket>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
// A phone: a Qt WebSocket client on the main thread, collecting what it receives.
struct Phone {
    QWebSocket socket;
    QList<QJsonObject> received;
    bool closed = false;

    explicit Phone(quint16 port) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& t) {
            received.append(QJsonDocument::fromJson(t.toUtf8()).object());
        });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)));
    }
    bool connected() {
        return waitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    }
    void send(const QJsonObject& m) {
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(m).toJson()));
    }
    QJsonObject request(const QJsonObject& m) {
        const qsizetype before = received.size();
        send(m);
        waitUntil([&] { return received.size() > before || closed; });
        return received.value(before);
    }
    bool waitClosed() {
        return waitUntil([&] { return closed; });
    }
};

struct ServerHarness : RouterHarness {
    WSServer server;
    explicit ServerHarness(WSServer::Limits limits = {})
        : RouterHarness(), server(*state, *router, limits) {}
};

}  // namespace

TEST(WSServer, listensOnAnEphemeralPortAndLogsThePortActuallyUsed) {
    LogCapture log;
    ServerHarness h;
    ASSERT_FALSE(h.server.start().has_value());
    EXPECT_NE(h.server.port(), 0);
    EXPECT_EQ(log.count(QStringLiteral("WS server on port %1").arg(h.server.port())), 1);

    // A second server on the same port fails with the system's reason.
    AppStateConfig c;
    c.tokenFile = h.dir.filePath("other.json");
    c.wsPort = h.server.port();
    AppState other(c);
    WSServer clash(other, *h.router);
    const std::optional<QString> error = clash.start();
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->isEmpty());
}

TEST(WSServer, aPhoneThatDropsMidDragLeavesNoButtonHeld) {
    ServerHarness h;
    ASSERT_FALSE(h.server.start());
    Phone phone(h.server.port());
    ASSERT_TRUE(phone.connected());
    phone.request({{"t", "pair"}, {"code", "4321"}});
    phone.send({{"t", "drag"}, {"down", true}});
    phone.send({{"t", "mv"}, {"dx", 40}});
    phone.request({{"t", "ping"}});
    EXPECT_EQ(h.state->connectedCount(), 1);
    phone.socket.abort();
    ASSERT_TRUE(waitUntil([&] { return h.state->connectedCount() == 0; }));
    h.flush();
    const auto events = h.take();
    ASSERT_GE(events.size(), 2);
    EXPECT_EQ(events.first().action, PointerAction::LeftDown);
    EXPECT_EQ(events.last().action, PointerAction::LeftUp);
    EXPECT_EQ(events.last().at, QPointF(540, 500));  // the pending move went first
}

TEST(WSServer, unauthenticatedConnectionsAreCappedByClosingTheOldestAndMustSpeakInTime) {
    WSServer::Limits limits;
    limits.maxUnauthenticated = 3;
    limits.firstMessageDeadline = 300ms;
    ServerHarness h(limits);
    ASSERT_FALSE(h.server.start());

    std::vector<std::unique_ptr<Phone>> phones;
    for (int i = 0; i < 3; ++i) {
        phones.push_back(std::make_unique<Phone>(h.server.port()));
        ASSERT_TRUE(phones.back()->connected());
        phones.back()->request({{"t", "ping"}});  // speaks, so the deadline is off
    }
    // They cannot keep a phone out: the oldest makes room.
    Phone newcomer(h.server.port());
    ASSERT_TRUE(newcomer.connected());
    EXPECT_EQ(newcomer.request({{"t", "pair"}, {"code", "4321"}}).value("t"), "paired");
    EXPECT_TRUE(phones[0]->waitClosed());

    Phone silent(h.server.port());
    ASSERT_TRUE(silent.connected());
    QTcpSocket raw;  // never even finishes the handshake; phones[1] makes room for it
    raw.connectToHost(QHostAddress::LocalHost, h.server.port());
    ASSERT_TRUE(waitUntil([&] { return raw.state() == QAbstractSocket::ConnectedState; }));
    EXPECT_TRUE(phones[1]->waitClosed());
    EXPECT_TRUE(silent.waitClosed());
    EXPECT_TRUE(waitUntil([&] { return raw.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_FALSE(phones[2]->closed);
    EXPECT_FALSE(newcomer.closed);
}
