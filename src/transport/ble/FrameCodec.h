// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// One frame of the Bluetooth channel, the same in both directions: a 2-byte little-endian
// length (the type byte plus the payload), the type byte, the payload.
struct Frame {
    static constexpr quint8 kJSON = 0;
    static constexpr quint8 kBinary = 1;
    static constexpr qsizetype kHeaderSize = 3;
    static constexpr qsizetype kMaxPayload = 0xFFFF - 1;

    quint8 type = kJSON;
    QByteArray payload;
};

class FrameCodec {
public:
    // The frame's bytes, or none when the payload is larger than a frame can carry.
    static std::optional<QByteArray> encode(quint8 type, QByteArrayView payload);
};
