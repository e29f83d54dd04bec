// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>

// A QR code as an image: black modules on white inside the four-module quiet zone that
// scanners need, each module a square of whole pixels.
class QRCode {
public:
    static constexpr int kQuietModules = 4;

    // The largest code that fits in a square of this many pixels; a null image when the
    // bytes cannot be encoded or the square is too small.
    static QImage fitting(const QByteArray& text, int pixels);
};
