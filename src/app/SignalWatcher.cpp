// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SignalWatcher.h"

#include <QSocketNotifier>

#include <atomic>

#include <sys/socket.h>
#include <unistd.h>

namespace {
// What the handler writes to; lock-free, so safe to read in a signal handler.
std::atomic<int> pipeWriteEnd{-1};

void onSignal(int signal) {
    const int fd = pipeWriteEnd.load();
    if (fd < 0) return;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
}
}  // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers,
                             std::function<void(int)> handler)
    : handler_(std::move(handler)) {
    int fds[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) return;
    readEnd_.reset(fds[0]);
    writeEnd_.reset(fds[1]);
    pipeWriteEnd = writeEnd_.get();
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalWatcher::drain);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : signalNumbers) {
        struct sigaction before {};
        if (::sigaction(s, &action, &before) == 0) previous_.append({s, before});
    }
}

SignalWatcher::~SignalWatcher() {
    for (const auto& [number, before] : previous_) ::sigaction(number, &before, nullptr);
    pipeWriteEnd = -1;
    notifier_.reset();
    // Nobody is left to handle these: each gets what it would have had without us.
    unsigned char byte = 0;
    while (readEnd_.valid() && ::read(readEnd_.get(), &byte, 1) == 1) ::raise(byte);
}

void SignalWatcher::drain() {
    unsigned char byte = 0;
    while (::read(readEnd_.get(), &byte, 1) == 1) handler_(byte);
}
