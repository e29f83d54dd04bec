// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Owns one file descriptor and closes it when dropped. Moves hand the descriptor on; copies
// are not allowed, so that no descriptor is closed twice or leaks.
class UniqueFd {
public:
    UniqueFd() = default;
    // Takes over fd; a negative value means none.
    explicit UniqueFd(int fd) noexcept : fd_(fd < 0 ? -1 : fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Hands the descriptor over to the caller, who closes it.
    int release() noexcept;
    // Closes the descriptor held, if any, and takes over fd.
    void reset(int fd = -1) noexcept;

private:
    int fd_ = -1;
};
