// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SignalWatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int pipeFds[2] = {-1, -1};

void onSignal(int signal) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[0], &byte, 1);
}
}  // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers,
                             std::function<void(int)> handler)
    : handler_(std::move(handler)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0) return;
    notifier_ = new QSocketNotifier(pipeFds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::drain);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : signalNumbers) ::sigaction(s, &action, nullptr);
}

SignalWatcher::~SignalWatcher() {
    delete notifier_;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void SignalWatcher::drain() {
    unsigned char byte = 0;
    while (::read(pipeFds[1], &byte, 1) == 1) handler_(byte);
}
