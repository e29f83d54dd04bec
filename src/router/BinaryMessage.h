// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>

#include <optional>

// Nine bytes or more: op (1 move, 2 scroll), then dx and dy as little-endian float32; a page
// may add its clock's time in ms as a little-endian float64.
struct BinaryMessage {
    static constexpr quint8 kMove = 1;
    static constexpr quint8 kScroll = 2;
    static constexpr qsizetype kSize = 9;
    static constexpr qsizetype kStampedSize = 17;

    quint8 op = 0;
    double dx = 0;
    double dy = 0;
    std::optional<double> stampMs;

    // None when the message is shorter than nine bytes; bytes past the stamp are ignored.
    static std::optional<BinaryMessage> decode(QByteArrayView bytes);
};
