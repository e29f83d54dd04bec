// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/BinaryMessage.h"

#include <QtEndian>

#include <bit>

namespace {
double floatAt(QByteArrayView bytes, qsizetype offset) {
    const quint32 raw = qFromLittleEndian<quint32>(bytes.data() + offset);
    return double(std::bit_cast<float>(raw));
}
}  // namespace

std::optional<BinaryMessage> BinaryMessage::decode(QByteArrayView bytes) {
    if (bytes.size() < kSize) return std::nullopt;
    BinaryMessage m{quint8(bytes[0]), floatAt(bytes, 1), floatAt(bytes, 5), std::nullopt};
    if (bytes.size() >= kStampedSize)
        m.stampMs = std::bit_cast<double>(qFromLittleEndian<quint64>(bytes.data() + kSize));
    return m;
}
