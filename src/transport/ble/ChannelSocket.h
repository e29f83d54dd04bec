// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// A connected, non-blocking socket that carries one channel's bytes; closed when dropped.
// maxWrite bounds one write: on a packet socket each write is one packet of at most the
// link's outgoing MTU.
class ChannelSocket {
public:
    static constexpr qsizetype kDefaultMaxWrite = 64 * 1024;

    ChannelSocket() = default;
    explicit ChannelSocket(int fd, qsizetype maxWrite = kDefaultMaxWrite)
        : fd_(fd), maxWrite_(maxWrite > 0 ? maxWrite : kDefaultMaxWrite) {}
    ChannelSocket(ChannelSocket&& other) noexcept { *this = std::move(other); }
    ChannelSocket& operator=(ChannelSocket&& other) noexcept;
    ChannelSocket(const ChannelSocket&) = delete;
    ChannelSocket& operator=(const ChannelSocket&) = delete;
    ~ChannelSocket() { close(); }

    int fd() const { return fd_; }
    qsizetype maxWrite() const { return maxWrite_; }
    bool isOpen() const { return fd_ >= 0; }
    void close();

private:
    int fd_ = -1;
    qsizetype maxWrite_ = kDefaultMaxWrite;
};
