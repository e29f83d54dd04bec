// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>
#include <utility>

// The request line and header fields of one HTTP/1.0 or HTTP/1.1 request, as much as the
// page server needs. Bodies are never read.
class HTTPRequestHead {
public:
    // The length of the head (up to and including the empty line that ends it), or -1 while
    // the bytes do not hold a whole head yet. Bytes that arrive piece by piece are searched
    // once: searched says how many were searched before, without finding the end.
    static qsizetype lengthIn(QByteArrayView bytes, qsizetype searched = 0);
    // Nothing when the head is not a well-formed request in origin form.
    static std::optional<HTTPRequestHead> parse(QByteArrayView head);

    const QByteArray& method() const { return method_; }
    const QByteArray& target() const { return target_; }
    // The target without its query.
    QByteArray path() const;
    bool isHttp11() const { return http11_; }

    // A field's value, found without regard to case; repeated fields joined with ", ".
    std::optional<QByteArray> header(QByteArrayView name) const;
    // Whether a comma-separated field lists the token, compared without regard to case.
    bool headerHasToken(QByteArrayView name, QByteArrayView token) const;
    bool isWebSocketUpgrade() const;

private:
    bool parseRequestLine(QByteArrayView line);
    bool parseField(QByteArrayView line);

    QByteArray method_;
    QByteArray target_;
    bool http11_ = false;
    QList<std::pair<QByteArray, QByteArray>> fields_;
};
