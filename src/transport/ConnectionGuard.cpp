#include "transport/ConnectionGuard.h"

ConnectionGuard::ConnectionGuard(QObject* socket, int& unauthenticated,
                                 std::chrono::milliseconds deadline, std::function<void()> abort)
    : QObject(socket), unauthenticated_(unauthenticated) {
    ++unauthenticated_;
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, std::move(abort));
    deadline_.start(deadline);
}

ConnectionGuard::~ConnectionGuard() {
    release();
}

void ConnectionGuard::release() {
    if (released_) return;
    released_ = true;
    --unauthenticated_;
}
