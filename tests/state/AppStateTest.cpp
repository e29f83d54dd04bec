// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/AppState.h"

#include <gtest/gtest.h>

TEST(AppState, portIsADecimalNumberUpTo65535OrTheDefault) {
    EXPECT_EQ(AppState::parsePort(std::nullopt), 8788);
    const std::pair<const char*, int> cases[] = {
        {"", 8788},      {" 9000", 8788}, {"9000\n", 8788}, {"-5", 8788},    {"0x10", 8788},
        {"65536", 8788}, {"+9000", 9000}, {"-0", 0},        {"65535", 65535}};
    for (auto [text, port] : cases) EXPECT_EQ(AppState::parsePort(QString(text)), port) << text;
}
