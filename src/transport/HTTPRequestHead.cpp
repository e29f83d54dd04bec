// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/HTTPRequestHead.h"

#include <algorithm>

namespace {
const QByteArrayView kLineEnd("\r\n");
const QByteArrayView kHeadEnd("\r\n\r\n");

// The characters of a token (method, field name), RFC 9110 section 5.6.2.
bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text) {
    if (text.isEmpty()) return false;
    for (char c : text)
        if (!isTokenChar(c)) return false;
    return true;
}

// Visible ASCII only: no spaces, controls or raw non-ASCII bytes in a request target.
bool isTarget(QByteArrayView text) {
    if (!text.startsWith('/')) return false;
    for (char c : text)
        if (c <= ' ' || c > '~') return false;
    return true;
}

// Field values may hold any byte but the controls other than tab.
bool isFieldValue(QByteArrayView text) {
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f) return false;
    }
    return true;
}
}  // namespace

qsizetype HTTPRequestHead::lengthIn(QByteArrayView bytes, qsizetype searched) {
    // The end may have begun in the bytes searched before.
    const qsizetype from = std::max<qsizetype>(0, searched - (kHeadEnd.size() - 1));
    const qsizetype at = bytes.indexOf(kHeadEnd, from);
    return at < 0 ? -1 : at + kHeadEnd.size();
}

std::optional<HTTPRequestHead> HTTPRequestHead::parse(QByteArrayView head) {
    if (!head.endsWith(kHeadEnd)) return std::nullopt;
    head.chop(kHeadEnd.size());
    HTTPRequestHead request;
    bool first = true;
    while (true) {
        const qsizetype end = head.indexOf(kLineEnd);
        const QByteArrayView line = end < 0 ? head : head.first(end);
        if (first ? !request.parseRequestLine(line) : !request.parseField(line))
            return std::nullopt;
        first = false;
        if (end < 0) break;
        head = head.sliced(end + kLineEnd.size());
    }
    return request;
}

bool HTTPRequestHead::parseRequestLine(QByteArrayView line) {
    const qsizetype firstSpace = line.indexOf(' ');
    const qsizetype lastSpace = line.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace == firstSpace) return false;
    const QByteArrayView method = line.first(firstSpace);
    const QByteArrayView target = line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArrayView version = line.sliced(lastSpace + 1);
    if (!isToken(method) || !isTarget(target)) return false;
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return false;
    method_ = method.toByteArray();
    target_ = target.toByteArray();
    http11_ = version == "HTTP/1.1";
    return true;
}

bool HTTPRequestHead::parseField(QByteArrayView line) {
    // No whitespace before the colon, no folded lines (RFC 9112 section 5).
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !isToken(line.first(colon))) return false;
    const QByteArrayView value = line.sliced(colon + 1).trimmed();
    if (!isFieldValue(value)) return false;
    fields_.append({line.first(colon).toByteArray(), value.toByteArray()});
    return true;
}

QByteArray HTTPRequestHead::path() const {
    const qsizetype query = target_.indexOf('?');
    return query < 0 ? target_ : target_.first(query);
}

std::optional<QByteArray> HTTPRequestHead::header(QByteArrayView name) const {
    std::optional<QByteArray> joined;
    for (const auto& [fieldName, value] : fields_) {
        if (fieldName.compare(name, Qt::CaseInsensitive) != 0) continue;
        joined = joined ? *joined + ", " + value : value;
    }
    return joined;
}

bool HTTPRequestHead::headerHasToken(QByteArrayView name, QByteArrayView token) const {
    for (QByteArrayView item : header(name).value_or(QByteArray()).split(','))
        if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0) return true;
    return false;
}

bool HTTPRequestHead::isWebSocketUpgrade() const {
    return headerHasToken("Upgrade", "websocket");
}
