// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <functional>

// Framed bytes waiting to leave a channel. Frames enter whole and bytes leave only from the
// front, so frames never interleave and a partial write loses nothing.
class WriteBuffer {
public:
    enum class Result { Drained, WouldBlock, Failed };
    // Writes what it can and returns the count written, 0 when the socket is full, or -1 when
    // the connection failed.
    using Write = std::function<qsizetype(const char* data, qsizetype size)>;

    void append(const QByteArray& frame) { buffer_.append(frame); }
    void clear() { buffer_.clear(); }
    bool isEmpty() const { return buffer_.isEmpty(); }
    qsizetype size() const { return buffer_.size(); }

    // Offers the pending bytes to write, at most maxChunk at a time, until they are all gone
    // or write takes no more.
    Result flush(const Write& write, qsizetype maxChunk);

private:
    QByteArray buffer_;
};
