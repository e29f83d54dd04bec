// SPDX-License-Identifier: GPL-3.0-or-later
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

// The server, with room for two connections awaiting authentication.
struct Server : RouterHarness {
    WSServer server{*state, *router, WSServer::Limits{.maxUnauthenticated = 2}};
    Server() { EXPECT_TRUE(server.start()); }
    // Sends a request; the head of the answer.
    QByteArray ask(const QByteArray& request) {
        Peer browser(server.port());
        browser.write(request);
        EXPECT_TRUE(browser.closed());
        return browser.received.left(browser.received.indexOf("\r\n\r\n") + 2);
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

TEST(WSServer, servesThePageUnderAStrictPolicyAndRefusesTheRest) {
    Server h;
    const QByteArray page = h.ask(get("/"));
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200 "));
    for (const char* part : {"\r\nContent-Security-Policy: default-src 'none'",
                             "frame-ancestors 'none'", "connect-src 'self' ws://localhost"})
        EXPECT_TRUE(page.contains(part)) << part;
    EXPECT_FALSE(page.contains("unsafe"));

    const QList<std::pair<QByteArray, int>> refused{
        {get("/../index.html"), 404},
        {"POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n\r\n{}", 405},
        {"GET / HTTP/2.0\r\n\r\n", 400},
        {get("/", "X-Filler: " + QByteArray(16 * 1024, 'a') + "\r\n"), 431},
    };
    for (const auto& [request, status] : refused) {
        const QByteArray answer = h.ask(request);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '))
            << request.left(40).constData();
        EXPECT_TRUE(answer.contains("\r\nX-Content-Type-Options: nosniff\r\n"));
    }
    // Nor does a page request carry a command.
    h.ask(get("/") + kPair + frame(R"({"t":"click"})"));
    EXPECT_TRUE(h.take().isEmpty());
    EXPECT_TRUE(h.state->tokenStore().tokens().isEmpty());
}

// A phone on the pairing screen: it gets in past connections that never said anything, and
// keeps its place against those that speak after it.
TEST(WSServer, aPhoneGetsInPastSilentConnectionsStaysOnceItSpokeAndLeavesNoCountBehind) {
    Server h;
    const auto first = h.phone(), second = h.phone();
    const auto phone = h.phone();
    EXPECT_TRUE(first->closed());
    const QByteArray hello = frame(R"({"t":"hello"})");
    for (Peer* speaker : {phone.get(), second.get()}) {
        speaker->write(hello);
        ASSERT_TRUE(speaker->waitFor("needpair"));
    }
    const auto third = h.phone();
    third->write(hello);
    EXPECT_TRUE(third->closed());
    EXPECT_FALSE(third->received.contains("needpair"));
    phone->write(kPair + frame(R"({"t":"ping"})"));
    ASSERT_TRUE(phone->waitFor("pong"));
    phone->abort();
    EXPECT_TRUE(waitUntil([&] { return h.state->connectedCount() == 0; }));
    second->write(kPair);
    EXPECT_TRUE(second->waitFor("paired"));
}
