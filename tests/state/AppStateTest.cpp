#include "state/AppState.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(AppState, portIsADecimalNumberUpTo65535OrTheDefault) {
    EXPECT_EQ(AppState::parsePort(std::nullopt), 8788);
    const std::pair<const char*, int> cases[] = {
        {"", 8788},     {"abc", 8788},   {" 9000", 8788}, {"9000 ", 8788}, {"9000\n", 8788},
        {"+", 8788},    {"-5", 8788},    {"12a", 8788},   {"0x10", 8788},  {"65536", 8788},
        {"9000", 9000}, {"+9000", 9000}, {"0", 0},        {"-0", 0},       {"65535", 65535}};
    for (auto [text, port] : cases) EXPECT_EQ(AppState::parsePort(QString(text)), port) << text;
}

TEST(AppState, codesAreFourDigitsUnlessFixedAndTheCountNeverGoesBelowZero) {
    const QRegularExpression fourDigits("^[0-9]{4}$");
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(fourDigits.match(AppState::generateCode(std::nullopt)).hasMatch());
    QTemporaryDir dir;
    AppState state({.fixedCode = "123456", .tokenFile = dir.filePath("tokens.json")});
    state.regenerateCode();
    EXPECT_EQ(state.pairingCode(), "123456");
    state.clientConnected();
    EXPECT_EQ(state.clientDisconnected(), 0);
    EXPECT_EQ(state.clientDisconnected(), 0);
    // Without a configured name, the host's.
    EXPECT_FALSE(state.displayName().isEmpty());
}
