// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/ble/FrameParser.h"

void FrameParser::append(QByteArrayView bytes) {
    if (start_ > 0) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes);
}

FrameParser::Result FrameParser::next(Frame& frame) {
    if (buffered() < Frame::kHeaderSize) return Result::NeedMore;
    const auto* front = reinterpret_cast<const quint8*>(buffer_.constData() + start_);
    const qsizetype length = front[0] | (front[1] << 8);
    if (length == 0) return Result::ZeroLength;
    if (buffered() < length + 2) return Result::NeedMore;
    frame.type = front[2];
    frame.payload = buffer_.mid(start_ + Frame::kHeaderSize, length - 1);
    start_ += length + 2;
    return Result::Frame;
}
