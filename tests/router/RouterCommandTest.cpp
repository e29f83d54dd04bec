#include "router/RouterHarness.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

using Kind = RecordingBackend::Event::Kind;

namespace {
struct Authed : RouterHarness {
    Client phone;
    explicit Authed(Router::Options options = {}) : RouterHarness(options) {
        pair(phone);
        take();
    }
    QList<RecordingBackend::Event> run(const QJsonObject& message) {
        send(phone, message);
        for (int i = 0; i < 3; ++i) tick();
        return take();
    }
};
}  // namespace

TEST(RouterCommand, pointerCommandsReachInputWithTheirDefaults) {
    Authed h;
    auto events = h.run({{"t", "mv"}, {"dx", 1.5}, {"dy", "x"}});
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].at, QPointF(501.5, 500));

    events = h.run({{"t", "click"}, {"count", 2.5}});
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].action, PointerAction::LeftDown);
    EXPECT_EQ(events[0].clickState, 1);
    events = h.run({{"t", "click"}, {"right", true}, {"count", 2.0}});
    EXPECT_EQ(events[0].action, PointerAction::RightDown);
    EXPECT_EQ(events[0].clickState, 2);
    events = h.run({{"t", "click"}, {"count", 1e300}});
    EXPECT_EQ(events[0].clickState, std::numeric_limits<int>::max());

    EXPECT_EQ(h.run({{"t", "drag"}, {"down", true}})[0].action, PointerAction::LeftDown);
    EXPECT_EQ(h.run({{"t", "drag"}, {"down", "yes"}})[0].action, PointerAction::LeftUp);
    EXPECT_EQ(h.run({{"t", "scroll"}, {"dy", 1}})[0].vertical, 1);
}

TEST(RouterCommand, keyboardCommandsTakeOnlyStringsAndWholeStringModifierLists) {
    Authed h;
    auto keyCodes = [&](const QJsonObject& m) {
        QList<int> codes;
        for (const auto& e : h.run(m)) codes.append(e.down ? e.key : -e.key);
        return codes;
    };
    EXPECT_EQ(keyCodes({{"t", "key"}, {"name", "tab"}, {"mods", QJsonArray{"cmd", 3}}}),
              (QList<int>{15, -15}));
    EXPECT_EQ(keyCodes({{"t", "key"}, {"name", "tab"}, {"mods", QJsonArray{"cmd"}}}),
              (QList<int>{29, 15, -15, -29}));
    EXPECT_TRUE(h.run({{"t", "key"}, {"name", 15}}).isEmpty());
    EXPECT_EQ(h.run({{"t", "text"}, {"text", "été"}}).value(0).text, "été");
    EXPECT_TRUE(h.run({{"t", "text"}, {"text", true}}).isEmpty());
}

TEST(RouterCommand, volumeIsTruncatedTowardZeroAndOnlyNumbersCount) {
    Authed h;
    for (const QJsonValue& v : {QJsonValue(37.9), QJsonValue(-0.5), QJsonValue("50"),
                                QJsonValue(1e300), QJsonValue(-1e300)})
        h.send(h.phone, {{"t", "vol"}, {"value", v}});
    h.send(h.phone, {{"t", "vol"}});
    EXPECT_EQ(h.volume->writes, (QList<float>{0.37f, 0.0f, 1.0f, 0.0f}));

    h.volume->reading = 0.42f;
    h.volume->muted = true;
    EXPECT_EQ(h.send(h.phone, {{"t", "getvol"}}),
              (QJsonObject{{"t", "vol"}, {"value", 42}, {"muted", true}}));
}

TEST(RouterCommand, pingEchoesAnyTimestampAndMalformedMessagesAreIgnored) {
    Authed h;
    LogCapture log;
    EXPECT_EQ(h.send(h.phone, {{"t", "ping"}, {"ts", 42}}),
              (QJsonObject{{"t", "pong"}, {"ax", true}, {"ts", 42}}));
    EXPECT_EQ(h.send(h.phone, {{"t", "ping"}, {"ts", QJsonObject{{"a", 1}}}}).value("ts"),
              (QJsonObject{{"a", 1}}));
    EXPECT_FALSE(h.send(h.phone, {{"t", "ping"}}).contains("ts"));
    h.backend->setTrusted(false);
    EXPECT_EQ(h.send(h.phone, {{"t", "ping"}}).value("ax"), false);

    // Other junk is sent to the real agent in test_messages.py; here, names that are nearly right.
    const qsizetype replies = h.phone.replies.size();
    for (const QJsonObject& m :
         {QJsonObject{{"T", "ping"}}, QJsonObject{{"t", "PING"}}, QJsonObject{{"t", " ping"}}})
        h.send(h.phone, m);
    h.router->handleText("\xff\xfe{}", h.phone.session);
    h.flush();
    EXPECT_EQ(h.phone.replies.size(), replies);
    EXPECT_TRUE(h.take().isEmpty());
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST(RouterCommand, logInputLogsEachTypeButNotBinaryMessages) {
    Authed h(Router::Options{false, true});
    LogCapture log;
    h.send(h.phone, {{"t", "mv"}});
    h.send(h.phone, {{"t", "nosuch"}});
    h.router->handleBinary(QByteArray::fromHex("010000803f00000000"), h.phone.session);
    EXPECT_EQ(log.lines(), (QStringList{"input: mv", "input: nosuch"}));
}

TEST(RouterBinary, movesAndScrollsFromNineOrMoreLittleEndianBytes) {
    Authed h;
    auto post = [&](const char* hex) {
        h.router->handleBinary(QByteArray::fromHex(hex), h.phone.session);
        for (int i = 0; i < 3; ++i) h.tick();
        return h.take();
    };
    auto events = post("01000080bf000000c0");  // dx -1.0, dy -2.0
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last().at, QPointF(499, 498));
    events = post("010000803f000000c0ff");  // dx 1.0, dy -2.0; a tenth byte is ignored
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last().at, QPointF(500, 496));
    EXPECT_TRUE(post("010000803f000000").isEmpty());    // eight bytes
    EXPECT_TRUE(post("030000803f000000c0").isEmpty());  // unknown op
    EXPECT_TRUE(post("010000c07f00000000").isEmpty());  // NaN
    events = post("0200000000000040c0");                // scroll dy -3.0: -1 now, -2 stays pending
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].vertical, -1);
}

TEST(RouterDryRun, commandsAreLoggedWithTheirContentAndNothingIsInjected) {
    Authed h(Router::Options{true, false});
    LogCapture log;
    EXPECT_EQ(h.send(h.phone, {{"t", "getvol"}}), (QJsonObject{{"t", "vol"}, {"value", 50}}));
    h.backend->setTrusted(false);
    EXPECT_EQ(h.send(h.phone, {{"t", "ping"}}).value("ax"), true);
    h.send(h.phone, {{"t", "mv"}, {"dx", 3}});
    h.router->handleBinary(QByteArray::fromHex("020000003f00000000"), h.phone.session);
    h.router->handleBinary(QByteArray::fromHex("010000803f000000c0"), h.phone.session);
    EXPECT_TRUE(h.take().isEmpty());
    EXPECT_TRUE(h.volume->writes.isEmpty());
    EXPECT_EQ(log.lines(),
              (QStringList{"input: getvol {\"t\":\"getvol\"}", "input: ping {\"t\":\"ping\"}",
                           "input: mv {\"dx\":3,\"t\":\"mv\"}", "input(bin): op=2 dx=0.5 dy=0.0",
                           "input(bin): op=1 dx=1.0 dy=-2.0"}));
}
