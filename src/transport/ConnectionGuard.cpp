#include "transport/ConnectionGuard.h"

#include <atomic>

namespace {
std::atomic<quint64> accepted{0};
}  // namespace

ConnectionGuard::ConnectionGuard(QObject* socket, int& unauthenticated,
                                 std::chrono::milliseconds deadline, std::function<void()> abort)
    : QObject(socket),
      unauthenticated_(unauthenticated),
      abort_(std::move(abort)),
      order_(++accepted) {
    ++unauthenticated_;
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { abort_(); });
    deadline_.start(deadline);
}

ConnectionGuard::~ConnectionGuard() {
    release();
}

void ConnectionGuard::evict() {
    release();
    deadline_.stop();
    abort_();
}

void ConnectionGuard::release() {
    if (released_) return;
    released_ = true;
    --unauthenticated_;
}
