#include "state/AppState.h"
#include "support/Wait.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <thread>

#include <gtest/gtest.h>

namespace {
AppStateConfig config(const QTemporaryDir& dir) {
    AppStateConfig c;
    c.tokenFile = dir.filePath("tokens.json");
    return c;
}
}  // namespace

TEST(AppState, portIsADecimalNumberUpTo65535OrTheDefault) {
    auto port = [](std::optional<QString> text) { return AppState::parsePort(text); };
    EXPECT_EQ(port(std::nullopt), 8788);
    for (const char* bad : {"", "abc", " 9000", "9000 ", "65536", "+", "-5", "12a", "0x10"})
        EXPECT_EQ(port(QString(bad)), 8788) << bad;
    EXPECT_EQ(port(QString("9000")), 9000);
    EXPECT_EQ(port(QString("+9000")), 9000);
    EXPECT_EQ(port(QString("0")), 0);
    EXPECT_EQ(port(QString("-0")), 0);
    EXPECT_EQ(port(QString("65535")), 65535);
}

TEST(AppState, drawnCodesAreFourDigitsAndAFixedCodeIsTakenVerbatim) {
    const QRegularExpression fourDigits("^[0-9]{4}$");
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(fourDigits.match(AppState::generateCode(std::nullopt)).hasMatch());
    EXPECT_EQ(AppState::generateCode(QString("123456")), "123456");
    EXPECT_EQ(AppState::generateCode(QString("")), "");
}

TEST(AppState, countChangesNotifyOnTheMainThreadInOrderAndNeverGoBelowZero) {
    QTemporaryDir dir;
    AppStateConfig c = config(dir);
    c.fixedCode = "0042";
    AppState state(c);
    QStringList seen;
    QObject receiver;
    QObject::connect(
        &state, &AppState::changed, &receiver,
        [&] {
            EXPECT_EQ(QThread::currentThread(), qApp->thread());
            seen.append(QString::number(state.connectedCount()));
        },
        Qt::QueuedConnection);
    std::thread worker([&] {
        state.clientConnected();
        state.clientConnected();
        state.clientDisconnected();
    });
    worker.join();
    EXPECT_TRUE(seen.isEmpty());  // posted, not called on the worker
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 3; }));
    EXPECT_EQ(state.connectedCount(), 1);

    EXPECT_EQ(state.clientDisconnected(), 0);
    EXPECT_EQ(state.clientDisconnected(), 0);
    state.regenerateCode();
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 6; }));
    EXPECT_EQ(state.pairingCode(), "0042");
}

TEST(AppState, displayNameIsTheConfiguredNameEvenEmptyElseTheHostName) {
    QTemporaryDir dir;
    AppStateConfig c = config(dir);
    c.name = "";
    EXPECT_EQ(AppState(c).displayName(), "");
    c.name.reset();
    EXPECT_FALSE(AppState(c).displayName().isEmpty());
}
