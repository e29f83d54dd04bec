#include "router/RouterHarness.h"
#include "support/Wait.h"
#include "transport/WSServer.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {
QByteArray get(const QByteArray& path, const QByteArray& fields = {}) {
    return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n" + fields + "\r\n";
}
const QByteArray kUpgrade = get("/",
                                "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                "Sec-WebSocket-Version: 13\r\n");

// A client's frame: final, text, masked as clients must, up to 125 bytes.
QByteArray frame(const QByteArray& payload) {
    const QByteArray mask("\x11\x22\x33\x44", 4);
    QByteArray out = QByteArray("\x81", 1) + char(0x80 | payload.size()) + mask;
    for (qsizetype i = 0; i < payload.size(); ++i) out += char(payload[i] ^ mask[i % 4]);
    return out;
}
const QByteArray kPair = frame(R"({"t":"pair","code":"4321"})");

// A field of an answer's head.
QByteArray field(const QByteArray& answer, const QByteArray& name) {
    for (const QByteArray& line : answer.left(answer.indexOf("\r\n\r\n")).split('\n'))
        if (line.startsWith(name + ':')) return line.mid(name.size() + 1).trimmed();
    return {};
}

// A browser or a phone reduced to its socket. The server runs on threads of its own, so the
// test may block.
struct Peer : QTcpSocket {
    QByteArray received;
    explicit Peer(quint16 port) { connectToHost(QHostAddress::LocalHost, port); }
    // Whether the text arrives before the connection ends.
    bool waitFor(const QByteArray& text) {
        while (!received.contains(text) && waitForReadyRead(5000)) received += readAll();
        return received.contains(text);
    }
    // Whether the server ends the connection in time.
    bool closed() {
        while (waitForReadyRead(5000)) received += readAll();
        return state() == UnconnectedState;
    }
};

struct Server : RouterHarness {
    WSServer server;
    explicit Server(WSServer::Limits limits = {}) : server(*state, *router, limits) {
        EXPECT_FALSE(server.start());
    }
    // Sends a request; the whole answer.
    QByteArray ask(const QByteArray& request) {
        Peer browser(server.port());
        browser.write(request);
        EXPECT_TRUE(browser.closed());
        return browser.received;
    }
    // A phone whose handshake arrives in two pieces, as over a slow network.
    std::unique_ptr<Peer> phone() {
        auto peer = std::make_unique<Peer>(server.port());
        peer->write(kUpgrade.left(30));
        EXPECT_TRUE(peer->waitForBytesWritten());
        peer->write(kUpgrade.mid(30));
        EXPECT_TRUE(peer->waitFor("HTTP/1.1 101 "));
        return peer;
    }
};
}  // namespace

TEST(WSServer, servesThePageUnderAStrictPolicyAndRevalidatesIt) {
    Server h;
    const QByteArray page = h.ask(get("/"));
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200 "));
    const QByteArray policy = field(page, "Content-Security-Policy");
    for (const char* part :
         {"default-src 'none'", "frame-ancestors 'none'", "connect-src 'self' ws://localhost"})
        EXPECT_TRUE(policy.contains(part)) << part;
    EXPECT_FALSE(policy.contains("unsafe"));
    EXPECT_EQ(field(page, "Cache-Control"), "no-cache");
    const QByteArray seen = "If-None-Match: " + field(page, "ETag") + "\r\n";
    EXPECT_TRUE(h.ask(get("/?from=qr", seen)).startsWith("HTTP/1.1 304 "));
    // Another file has another tag.
    EXPECT_TRUE(h.ask(get("/style.css", seen)).startsWith("HTTP/1.1 200 "));
}

TEST(WSServer, refusesOtherPathsAndMethodsAndMalformedOrOversizedHeads) {
    Server h;
    const QList<std::pair<QByteArray, int>> cases{
        {get("/missing.js"), 404},
        {get("/../index.html"), 404},
        {"POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n\r\n{}", 405},
        {"GET / HTTP/2.0\r\n\r\n", 400},
        {"GET /\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost : x\r\n\r\n", 400},
        {"\x16\x03\x01\x02\x05\x01\r\n\r\n", 400},  // TLS
        {get("/", "X-Filler: " + QByteArray(16 * 1024, 'a') + "\r\n"), 431},
    };
    for (const auto& [request, status] : cases) {
        const QByteArray answer = h.ask(request);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '))
            << request.left(40).constData();
        EXPECT_EQ(field(answer, "X-Content-Type-Options"), "nosniff");
    }
}

TEST(WSServer, aPageRequestCarriesNoCommand) {
    Server h;
    h.ask(
        "POST / HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\n\r\n"
        R"({"t":"pair","code":"4321"})");
    h.ask(get("/") + kPair + frame(R"({"t":"click"})"));
    EXPECT_TRUE(h.take().isEmpty());
    EXPECT_TRUE(h.state->tokenStore().tokens().isEmpty());
}

TEST(WSServer, aPhoneGetsInPastConnectionsThatNeverPairedAndItsDropReleasesTheButton) {
    WSServer::Limits limits;
    limits.maxUnauthenticated = 2;
    Server h(limits);
    const auto first = h.phone(), second = h.phone();
    for (Peer* idle : {first.get(), second.get()}) {
        idle->write(frame(R"({"t":"ping"})"));
        ASSERT_TRUE(idle->waitFor("needpair"));
    }
    const auto phone = h.phone();  // the one that waited longest makes room
    phone->write(kPair + frame(R"({"t":"drag","down":true})") + frame(R"({"t":"mv","dx":40})") +
                 frame(R"({"t":"ping"})"));
    ASSERT_TRUE(phone->waitFor("pong"));
    EXPECT_TRUE(first->closed());

    phone->abort();
    QList<InputHarness::Event> events;
    ASSERT_TRUE(waitUntil([&] {
        events += h.take();
        return !events.isEmpty() && events.last().action == PointerAction::LeftUp;
    }));
    EXPECT_EQ(events.first().action, PointerAction::LeftDown);
    EXPECT_EQ(events.last().at, QPointF(540, 500));  // the pending move went first
    EXPECT_EQ(h.state->connectedCount(), 0);
    second->write(kPair);
    EXPECT_TRUE(second->waitFor("paired"));
}

TEST(WSServer, aPortInUseIsReportedWithTheSystemsReason) {
    Server h;
    AppState other(
        AppStateConfig{.wsPort = h.server.port(), .tokenFile = h.dir.filePath("o.json")});
    const std::optional<QString> error = WSServer(other, *h.router).start();
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->isEmpty());
}
