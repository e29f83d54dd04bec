// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/UniqueFd.h"

#include <unistd.h>

#include <utility>

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

int UniqueFd::release() noexcept {
    return std::exchange(fd_, -1);
}

void UniqueFd::reset(int fd) noexcept {
    // POSIX leaves the descriptor's state unspecified after EINTR; Linux has closed it, so
    // close is never repeated.
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd < 0 ? -1 : fd;
}
