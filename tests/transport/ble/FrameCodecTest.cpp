#include "transport/ble/FrameCodec.h"

#include <gtest/gtest.h>

namespace {
QByteArray frame(quint8 type, const QByteArray& payload) {
    return *FrameCodec::encode(type, payload);
}
}  // namespace

TEST(FrameCodec, lengthCountsTheTypeBytePlusThePayloadLowByteFirst) {
    EXPECT_EQ(frame(0, R"({"t":"ab"})"), QByteArray::fromHex("0b0000") + R"({"t":"ab"})");
    EXPECT_EQ(frame(1, {}), QByteArray::fromHex("010001"));
    EXPECT_EQ(frame(0, QByteArray(300, 'x')).left(3), QByteArray::fromHex("2d0100"));

    const QByteArray largest(Frame::kMaxPayload, 'x');
    EXPECT_EQ(frame(0, largest).left(3), QByteArray::fromHex("ffff00"));
    EXPECT_FALSE(FrameCodec::encode(0, largest + 'x').has_value());
}
