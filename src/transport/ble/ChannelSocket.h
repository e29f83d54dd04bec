// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/UniqueFd.h"

#include <QtGlobal>

#include <utility>

// A connected, non-blocking socket that carries one channel's bytes; closed when dropped.
// maxWrite bounds one write: on a packet socket each write is one packet of at most the
// link's outgoing MTU.
class ChannelSocket {
public:
    static constexpr qsizetype kDefaultMaxWrite = 64 * 1024;

    ChannelSocket() = default;
    explicit ChannelSocket(UniqueFd fd, qsizetype maxWrite = kDefaultMaxWrite)
        : fd_(std::move(fd)), maxWrite_(maxWrite > 0 ? maxWrite : kDefaultMaxWrite) {}

    int fd() const { return fd_.get(); }
    qsizetype maxWrite() const { return maxWrite_; }
    bool isOpen() const { return fd_.valid(); }
    void close() { fd_.reset(); }

private:
    UniqueFd fd_;
    qsizetype maxWrite_ = kDefaultMaxWrite;
};
