// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/ble/FrameCodec.h"

std::optional<QByteArray> FrameCodec::encode(quint8 type, QByteArrayView payload) {
    if (payload.size() > Frame::kMaxPayload) return std::nullopt;
    const auto length = quint16(payload.size() + 1);
    QByteArray frame;
    frame.reserve(Frame::kHeaderSize + payload.size());
    frame.append(char(length & 0xFF));
    frame.append(char(length >> 8));
    frame.append(char(type));
    frame.append(payload);
    return frame;
}
