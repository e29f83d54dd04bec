// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/FrameCodec.h"

#include <QByteArray>
#include <QByteArrayView>

// Cuts the bytes received on a channel into whole frames, in order. Bytes of an incomplete
// frame wait for the rest.
class FrameParser {
public:
    enum class Result {
        Frame,       // a whole frame was taken from the front
        NeedMore,    // the front holds no whole frame yet
        ZeroLength,  // the front is a header of length 0, which no frame can have
    };

    void append(QByteArrayView bytes);
    Result next(Frame& frame);
    // Bytes received and not yet taken as frames.
    qsizetype buffered() const { return buffer_.size() - start_; }

private:
    QByteArray buffer_;
    // Frames are taken by moving this offset; the consumed bytes are dropped on the next append.
    qsizetype start_ = 0;
};
