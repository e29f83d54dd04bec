#include "transport/ble/FrameCodec.h"
#include "transport/ble/FrameParser.h"
#include "transport/ble/WriteBuffer.h"

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

TEST(FrameParser, takesWholeFramesInOrderHoweverTheBytesArrive) {
    FrameParser parser;
    Frame f;
    parser.append(frame(0, "first") + frame(7, "second"));
    ASSERT_EQ(parser.next(f), FrameParser::Result::Frame);
    EXPECT_EQ(f.type, 0);
    EXPECT_EQ(f.payload, "first");
    ASSERT_EQ(parser.next(f), FrameParser::Result::Frame);
    EXPECT_EQ(f.type, 7);
    EXPECT_EQ(f.payload, "second");
    EXPECT_EQ(parser.next(f), FrameParser::Result::NeedMore);

    const QByteArray split = frame(1, QByteArray::fromHex("010000803f000000c0"));
    parser.append(split.left(1));
    EXPECT_EQ(parser.next(f), FrameParser::Result::NeedMore);
    parser.append(split.mid(1, 5));
    EXPECT_EQ(parser.next(f), FrameParser::Result::NeedMore);
    parser.append(split.mid(6));
    ASSERT_EQ(parser.next(f), FrameParser::Result::Frame);
    EXPECT_EQ(f.type, 1);
    EXPECT_EQ(f.payload.size(), 9);
    EXPECT_EQ(parser.buffered(), 0);

    parser.append(frame(1, {}));
    ASSERT_EQ(parser.next(f), FrameParser::Result::Frame);
    EXPECT_EQ(f.type, 1);
    EXPECT_TRUE(f.payload.isEmpty());
}

TEST(FrameParser, aZeroLengthHeaderIsReportedAndNotConsumed) {
    FrameParser parser;
    Frame f;
    parser.append(frame(0, "ok") + QByteArray::fromHex("000000") + frame(0, "after"));
    ASSERT_EQ(parser.next(f), FrameParser::Result::Frame);
    EXPECT_EQ(parser.next(f), FrameParser::Result::ZeroLength);
    EXPECT_EQ(parser.next(f), FrameParser::Result::ZeroLength);
    EXPECT_EQ(parser.buffered(), 3 + frame(0, "after").size());
}

TEST(WriteBuffer, keepsWhatAWriteLeavesAndNeverOffersMoreThanAChunk) {
    WriteBuffer buffer;
    buffer.append(frame(0, "one"));
    buffer.append(frame(0, "two"));
    QByteArray written;
    QList<qsizetype> offered;
    qsizetype room = 5;
    const auto write = [&](const char* data, qsizetype size) -> qsizetype {
        offered.append(size);
        const qsizetype n = std::min(size, room);
        written.append(data, n);
        room -= n;
        return n;
    };
    EXPECT_EQ(buffer.flush(write, 4), WriteBuffer::Result::WouldBlock);
    EXPECT_EQ(written, frame(0, "one").left(5));
    EXPECT_EQ(buffer.size(), 12 - 5);

    room = 100;
    EXPECT_EQ(buffer.flush(write, 4), WriteBuffer::Result::Drained);
    EXPECT_EQ(written, frame(0, "one") + frame(0, "two"));
    EXPECT_TRUE(buffer.isEmpty());
    for (qsizetype size : offered) EXPECT_LE(size, 4);

    buffer.append(frame(0, "three"));
    EXPECT_EQ(buffer.flush([](const char*, qsizetype) { return qsizetype(-1); }, 64),
              WriteBuffer::Result::Failed);
    EXPECT_EQ(buffer.size(), 8);
}
