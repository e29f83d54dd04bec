// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/ble/ChannelSocket.h"

#include <unistd.h>

#include <utility>

ChannelSocket& ChannelSocket::operator=(ChannelSocket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        maxWrite_ = other.maxWrite_;
    }
    return *this;
}

void ChannelSocket::close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}
