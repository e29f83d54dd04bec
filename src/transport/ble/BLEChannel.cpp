// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/ble/BLEChannel.h"

#include "base/Log.h"
#include "base/MainThread.h"
#include "router/Router.h"

#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace {
constexpr qsizetype kReadChunk = 4096;
// One read pass takes at most this many chunks before parsing, so a flooding peer cannot grow
// the input buffer without bound; the socket stays readable and the next pass continues.
constexpr int kMaxReadsPerPass = 16;

// A read of 0 bytes is the end of a stream, but on a packet socket it may be an empty packet.
bool peerHasClosed(int fd) {
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR));
}

qsizetype sendSome(int fd, const char* data, qsizetype size) {
    for (;;) {
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    }
}
}  // namespace

std::shared_ptr<BLEChannel> BLEChannel::create(ChannelSocket socket, Router& router,
                                               Callbacks callbacks, Limits limits) {
    std::shared_ptr<BLEChannel> channel(
        new BLEChannel(std::move(socket), router, std::move(callbacks), limits));
    const std::weak_ptr<BLEChannel> weak = channel;
    channel->session_ = std::make_shared<ClientSession>(
        [weak](const QJsonObject& message) {
            QByteArray text = QJsonDocument(message).toJson(QJsonDocument::Compact);
            postToMain([weak, text = std::move(text)] {
                if (const auto c = weak.lock()) c->enqueueFrame(Frame::kJSON, text);
            });
        },
        [weak] {
            runOnMain([weak] {
                if (const auto c = weak.lock()) c->teardown();
            });
        });
    return channel;
}

BLEChannel::BLEChannel(ChannelSocket socket, Router& router, Callbacks callbacks, Limits limits)
    : socket_(std::move(socket)),
      router_(router),
      callbacks_(std::move(callbacks)),
      limits_(limits) {}

BLEChannel::~BLEChannel() = default;

void BLEChannel::open() {
    runOnMain([weak = weak_from_this()] {
        if (const auto c = weak.lock()) c->watch();
    });
}

void BLEChannel::watch() {
    if (!socket_.isOpen() || readNotifier_) return;
    const std::weak_ptr<BLEChannel> weak = weak_from_this();
    readNotifier_ = std::make_unique<QSocketNotifier>(socket_.fd(), QSocketNotifier::Read);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, [weak] {
        if (const auto c = weak.lock()) c->onReadable();
    });
    writeNotifier_ = std::make_unique<QSocketNotifier>(socket_.fd(), QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, [weak] {
        if (const auto c = weak.lock()) c->onWritable();
    });
    deadline_ = std::make_unique<QTimer>();
    deadline_->setSingleShot(true);
    QObject::connect(deadline_.get(), &QTimer::timeout, [weak] {
        const auto c = weak.lock();
        if (c && !c->spoke_) c->teardown();
    });
    deadline_->start(limits_.firstFrameDeadline);
}

// The notifiers stay allocated until the channel goes: teardown may run inside their signals.
void BLEChannel::stopWatching() {
    if (readNotifier_) readNotifier_->setEnabled(false);
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    if (deadline_) deadline_->stop();
}

void BLEChannel::onReadable() {
    const bool open = readAvailable();
    dispatchFrames();
    if (!open && socket_.isOpen()) teardown();
    // While the desktop lags far behind, what the phone sends waits in the link instead.
    const auto resume = [weak = weak_from_this()] {
        if (const auto c = weak.lock()) c->resumeReading();
    };
    if (socket_.isOpen() && router_.holdBack(resume)) readNotifier_->setEnabled(false);
}

void BLEChannel::resumeReading() {
    if (socket_.isOpen() && readNotifier_) readNotifier_->setEnabled(true);
}

void BLEChannel::onWritable() {
    // Level-triggered: off until a write finds the socket full again.
    writeNotifier_->setEnabled(false);
    flushOut();
}

bool BLEChannel::readAvailable() {
    char scratch[kReadChunk];
    for (int reads = 0; reads < kMaxReadsPerPass; ++reads) {
        const ssize_t n = ::recv(socket_.fd(), scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0) {
            inBuffer_.append(QByteArrayView(scratch, n));
        } else if (n == 0) {
            if (peerHasClosed(socket_.fd())) return false;
        } else if (errno != EINTR) {
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }
    return true;
}

// Frames already received are still dispatched when a handler closes the session midway.
void BLEChannel::dispatchFrames() {
    Frame frame;
    for (;;) {
        switch (inBuffer_.next(frame)) {
            case FrameParser::Result::NeedMore:
                return;
            case FrameParser::Result::ZeroLength:
                // Nothing after such a header can be trusted to be a frame boundary.
                if (socket_.isOpen()) {
                    logWarning(QStringLiteral("BLE frame of length 0; closing the channel"));
                    teardown();
                }
                return;
            case FrameParser::Result::Frame:
                dispatch(frame);
                break;
        }
    }
}

void BLEChannel::dispatch(const Frame& frame) {
    if (!spoke_) {
        spoke_ = true;
        if (deadline_) deadline_->stop();
    }
    if (frame.type == Frame::kBinary)
        router_.handleBinary(frame.payload, session_);
    else
        router_.handleText(frame.payload, session_);
    if (!socket_.isOpen()) {
        // Closed earlier in this pass: a frame that authenticated the session only now must
        // not leave a phone counted that is gone.
        router_.sessionEnded(*session_);
        return;
    }
    if (session_->authed && !authReported_) {
        authReported_ = true;
        if (callbacks_.onAuthenticated) callbacks_.onAuthenticated(*this);
    }
}

void BLEChannel::enqueueFrame(quint8 type, const QByteArray& payload) {
    if (!socket_.isOpen()) return;
    const std::optional<QByteArray> frame = FrameCodec::encode(type, payload);
    if (!frame) {
        logWarning(QStringLiteral("BLE reply of %1 bytes does not fit in a frame; dropped")
                       .arg(payload.size()));
        return;
    }
    outBuffer_.append(*frame);
    if (outBuffer_.size() > limits_.maxPendingBytes) {
        logWarning(QStringLiteral("BLE client leaves %1 bytes unread; closing the channel")
                       .arg(outBuffer_.size()));
        teardown();
        return;
    }
    flushOut();
}

void BLEChannel::flushOut() {
    postToMain([weak = weak_from_this()] {
        if (const auto c = weak.lock()) c->writePass();
    });
}

void BLEChannel::writePass() {
    if (!socket_.isOpen() || outBuffer_.isEmpty()) return;
    const int fd = socket_.fd();
    const auto write = [fd](const char* data, qsizetype size) { return sendSome(fd, data, size); };
    switch (outBuffer_.flush(write, socket_.maxWrite())) {
        case WriteBuffer::Result::Drained:
            break;
        case WriteBuffer::Result::WouldBlock:
            if (writeNotifier_) writeNotifier_->setEnabled(true);
            break;
        case WriteBuffer::Result::Failed:
            teardown();
            break;
    }
}

void BLEChannel::teardown() {
    const std::shared_ptr<BLEChannel> self = shared_from_this();
    stopWatching();
    socket_.close();
    outBuffer_.clear();
    router_.sessionEnded(*session_);
    if (callbacks_.onClose) callbacks_.onClose(*this);
    logLine(QStringLiteral("BLE client disconnected"));
}
