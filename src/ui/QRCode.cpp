// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QRCode.h"

#include "base/Log.h"

#include <qrencode.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {
struct Free {
    void operator()(QRcode* code) const { QRcode_free(code); }
};
using Code = std::unique_ptr<QRcode, Free>;

Code encode(const QByteArray& text) {
    // Medium error correction: still read from a phone's screen glare or a smudged display.
    Code code(QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M));
    if (!code)
        logWarning(QStringLiteral("QR code for %1 bytes failed: %2")
                       .arg(text.size())
                       .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return code;
}
}  // namespace

QImage QRCode::fitting(const QByteArray& text, int pixels) {
    const Code code = encode(text);
    if (!code) return {};
    const int side = code->width + 2 * kQuietModules;
    const int scale = pixels / side;
    if (scale < 1) return {};
    QImage image(side * scale, side * scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x) {
            // Bit 0 of each byte tells a dark module; the other bits are the encoder's own.
            if (!(code->data[y * code->width + x] & 1)) continue;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx)
                    image.setPixel((x + kQuietModules) * scale + dx,
                                   (y + kQuietModules) * scale + dy, qRgb(0, 0, 0));
        }
    return image;
}
