#include "router/RouterHarness.h"
#include "support/Wait.h"
#include "transport/WSServer.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
// A browser reduced to its socket: sends bytes and collects the answer until the server
// closes the connection.
struct HTTPClient {
    QTcpSocket socket;
    QByteArray received;

    explicit HTTPClient(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void send(const QByteArray& bytes) { socket.write(bytes); }
    bool closed() {
        return waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; });
    }
    // Sends one request and waits for the whole answer.
    HTTPClient& request(const QByteArray& bytes) {
        send(bytes);
        EXPECT_TRUE(closed());
        return *this;
    }
    QByteArray head() const { return received.left(received.indexOf("\r\n\r\n")); }
    QByteArray body() const { return received.mid(received.indexOf("\r\n\r\n") + 4); }
    int status() const { return head().mid(9, 3).toInt(); }
    QByteArray header(const QByteArray& name) const {
        for (const QByteArray& line : head().split('\n'))
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        return {};
    }
};

struct PageServer : RouterHarness {
    WSServer server;
    explicit PageServer(WSServer::Limits limits = {}) : server(*state, *router, limits) {
        EXPECT_FALSE(server.start());
    }
    QByteArray get(const QByteArray& path, const QByteArray& extra = {}) {
        return "GET " + path + " HTTP/1.1\r\nHost: " + host() + "\r\n" + extra + "\r\n";
    }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(server.port()); }
};

// A client's WebSocket frame: final, text, masked as clients must.
QByteArray maskedTextFrame(const QByteArray& payload) {
    const QByteArray mask("\x11\x22\x33\x44", 4);
    QByteArray frame("\x81", 1);
    frame += char(0x80 | payload.size());
    frame += mask;
    for (qsizetype i = 0; i < payload.size(); ++i) frame += char(payload[i] ^ mask[i % 4]);
    return frame;
}
}  // namespace

TEST(PageServer, servesThePageAndItsFilesWithStrictHeadersAndRevalidation) {
    PageServer h;
    HTTPClient page(h.server.port());
    EXPECT_EQ(page.request(h.get("/")).status(), 200);
    EXPECT_EQ(page.header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(page.header("Content-Length").toInt(), page.body().size());
    EXPECT_TRUE(page.body().contains(R"(<script type="module" src="app.js">)"));
    const QByteArray policy = page.header("Content-Security-Policy");
    for (const char* part : {"default-src 'none'", "script-src 'self';", "style-src 'self';",
                             "frame-ancestors 'none'"})
        EXPECT_TRUE(policy.contains(part)) << part;
    EXPECT_TRUE(policy.endsWith("connect-src 'self' ws://" + h.host())) << policy.constData();
    EXPECT_FALSE(policy.contains("unsafe"));
    EXPECT_EQ(page.header("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(page.header("Cache-Control"), "no-cache");
    EXPECT_TRUE(page.header("Set-Cookie").isNull());
    const QByteArray etag = page.header("ETag");
    ASSERT_FALSE(etag.isEmpty());

    HTTPClient again(h.server.port());
    EXPECT_EQ(again.request(h.get("/?from=qr", "If-None-Match: " + etag + "\r\n")).status(), 304);
    EXPECT_TRUE(again.body().isEmpty());

    for (const auto& [path, type] : {std::pair{"/app.js", "text/javascript; charset=utf-8"},
                                     std::pair{"/touchpad.js", "text/javascript; charset=utf-8"},
                                     std::pair{"/style.css", "text/css; charset=utf-8"},
                                     std::pair{"/icon.svg", "image/svg+xml"}}) {
        HTTPClient file(h.server.port());
        EXPECT_EQ(file.request(h.get(path)).status(), 200) << path;
        EXPECT_EQ(file.header("Content-Type"), type) << path;
        EXPECT_NE(file.header("ETag"), etag) << path;
    }

    HTTPClient head(h.server.port());
    EXPECT_EQ(head.request("HEAD / HTTP/1.1\r\nHost: localhost\r\n\r\n").status(), 200);
    EXPECT_GT(head.header("Content-Length").toInt(), 0);
    EXPECT_TRUE(head.body().isEmpty());
}

TEST(PageServer, otherPathsMethodsAndMalformedRequestsAreRefused) {
    PageServer h;
    const QList<std::pair<QByteArray, int>> cases{
        {h.get("/missing.js"), 404},
        {h.get("/../index.html"), 404},
        {"POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n\r\n{}", 405},
        {"GET / HTTP/2.0\r\n\r\n", 400},
        {"GET /\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost : x\r\n\r\n", 400},
        {"\x16\x03\x01\x02\x05\x01\r\n\r\n", 400},
    };
    for (const auto& [request, status] : cases) {
        HTTPClient client(h.server.port());
        EXPECT_EQ(client.request(request).status(), status) << request.constData();
        EXPECT_EQ(client.header("X-Content-Type-Options"), "nosniff");
    }
}

TEST(PageServer, aPageRequestIsNoClientAndCarriesNoCommand) {
    PageServer h;
    HTTPClient post(h.server.port());
    post.request(
        "POST / HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\n\r\n"
        R"({"t":"pair","code":"4321"})");
    HTTPClient smuggler(h.server.port());
    smuggler.request(h.get("/") + maskedTextFrame(R"({"t":"pair","code":"4321"})") +
                     maskedTextFrame(R"({"t":"click"})"));
    EXPECT_EQ(smuggler.status(), 200);
    h.flush();
    EXPECT_TRUE(h.take().isEmpty());
    EXPECT_TRUE(h.state->tokenStore().tokens().isEmpty());
    EXPECT_EQ(h.state->connectedCount(), 0);
}

TEST(PageServer, oversizedAndSlowRequestHeadsAreCutOff) {
    WSServer::Limits limits;
    limits.maxRequestHeadBytes = 1024;
    limits.firstMessageDeadline = 300ms;
    PageServer h(limits);

    HTTPClient big(h.server.port());
    big.request(h.get("/", "X-Filler: " + QByteArray(2000, 'a') + "\r\n"));
    EXPECT_EQ(big.status(), 431);

    HTTPClient slow(h.server.port());
    slow.send("GET / HTTP/1.1\r\nHost: localhost\r\n");
    EXPECT_TRUE(slow.closed());
    EXPECT_TRUE(slow.received.isEmpty());
}

TEST(PageServer, aWebSocketUpgradeArrivingInPiecesStillReachesTheWebSocketServer) {
    PageServer h;
    HTTPClient phone(h.server.port());
    const QByteArray upgrade =
        "GET / HTTP/1.1\r\nHost: " + h.host() +
        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    phone.send(upgrade.left(30));
    ASSERT_TRUE(waitUntil([&] { return phone.socket.bytesToWrite() == 0; }));
    phone.send(upgrade.mid(30));
    ASSERT_TRUE(waitUntil([&] { return phone.received.contains("\r\n\r\n"); }));
    EXPECT_TRUE(phone.received.startsWith("HTTP/1.1 101"));
    EXPECT_EQ(phone.header("Sec-WebSocket-Accept"), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");

    phone.send(maskedTextFrame(R"({"t":"pair","code":"4321"})"));
    EXPECT_TRUE(waitUntil([&] { return phone.received.contains(R"("t":"paired")"); }));
    EXPECT_EQ(h.state->connectedCount(), 1);
}
