#include "router/RouterHarness.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

TEST(RouterAuth, wrongCodesBadTokensAndUnauthenticatedCommandsGetNoAccess) {
    LogCapture log;
    RouterHarness h;
    RouterHarness::Client c;
    EXPECT_EQ(h.send(c, {{"t", "pair"}, {"code", 4321}}), (QJsonObject{{"t", "badcode"}}));
    EXPECT_EQ(h.send(c, {{"t", "pair"}}).value("t"), "badcode");
    EXPECT_EQ(log.count("Bad pairing code attempt"), 2);
    const QJsonObject needpair{{"t", "needpair"}, {"name", "Bureau"}};
    EXPECT_EQ(h.send(c, {{"t", "hello"}, {"token", 12}}), needpair);
    EXPECT_EQ(h.send(c, {{"t", "hello"}}), needpair);
    EXPECT_EQ(h.send(c, {{"t", "ping"}, {"ts", 1}}), needpair);
    EXPECT_EQ(h.send(c, {{"t", "mv"}, {"dx", 5}}), needpair);
    h.router->handleBinary(QByteArray::fromHex("01000080bf00000000"), c.session);
    EXPECT_TRUE(h.take().isEmpty());
    EXPECT_EQ(h.state->connectedCount(), 0);
}

// The pairing conversation itself is checked on the real agent in test_pairing.py.
TEST(RouterAuth, pairingAgainOrSayingHelloAgainCountsTheClientOnce) {
    RouterHarness h;
    RouterHarness::Client c, later;
    const QString first = h.pair(c);
    const QString second = h.pair(c);
    EXPECT_NE(first, second);
    EXPECT_EQ(h.state->tokenStore().tokens(), (QStringList{first, second}));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(
            h.send(later, {{"t", "hello"}, {"token", first}}),
            (QJsonObject{
                {"t", "authok"}, {"name", "Bureau"}, {"ax", true}, {"version", "1.1.0 (13)"}}));
    EXPECT_EQ(h.state->connectedCount(), 2);
}

TEST(RouterAuth, unpairRevokesTheTokenAndClosesItsSessionsEvenWhenNotAuthenticated) {
    RouterHarness h;
    RouterHarness::Client owner, stranger;
    const QString token = h.pair(owner);
    EXPECT_TRUE(h.send(stranger, {{"t", "unpair"}, {"token", token}}).isEmpty());
    EXPECT_EQ(stranger.closes, 1);
    EXPECT_FALSE(h.state->isValidToken(token));
    EXPECT_EQ(owner.closes, 1);
    h.send(owner, {{"t", "unpair"}});
    EXPECT_EQ(owner.closes, 2);
}

TEST(RouterAuth, sessionEndLowersTheCountOnceAndReleasesADragWhenNobodyIsLeft) {
    RouterHarness h;
    RouterHarness::Client a, b;
    h.pair(a);
    h.pair(b);
    h.send(a, {{"t", "drag"}, {"down", true}});
    h.router->sessionEnded(*a.session);
    h.router->sessionEnded(*a.session);
    EXPECT_EQ(h.state->connectedCount(), 1);
    h.flush();
    EXPECT_EQ(h.take().size(), 1);  // still held: b is there
    h.router->sessionEnded(*b.session);
    h.flush();
    const auto events = h.take();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].action, PointerAction::LeftUp);
}

TEST(RouterAuth, dryRunStillPairsAuthenticatesAndRevokes) {
    RouterHarness h(Router::Options{true, false});
    RouterHarness::Client c;
    const QString token = h.pair(c);
    EXPECT_EQ(token.size(), 36);
    EXPECT_EQ(h.send(c, {{"t", "hello"}, {"token", token}}).value("t"), "authok");
    h.send(c, {{"t", "unpair"}, {"token", token}});
    EXPECT_FALSE(h.state->isValidToken(token));
}
