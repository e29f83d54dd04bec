#pragma once

#include "support/Wait.h"
#include "transport/ble/ChannelSocket.h"
#include "transport/ble/FrameCodec.h"
#include "transport/ble/FrameParser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

// A phone on a Bluetooth channel, reduced to its end of a connected socket: it writes frames
// and reads the agent's, letting the main thread's event loop run while it waits.
class BLEPhone {
public:
    explicit BLEPhone(int fd) : fd_(fd) {}
    BLEPhone(BLEPhone&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    BLEPhone(const BLEPhone&) = delete;
    ~BLEPhone() { hangUp(); }

    // A connected pair: the agent's end as a channel socket, and the phone.
    static std::pair<ChannelSocket, BLEPhone> connect(
        int type = SOCK_STREAM, qsizetype maxWrite = ChannelSocket::kDefaultMaxWrite) {
        int fds[2];
        if (::socketpair(AF_UNIX, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
            return {ChannelSocket(), BLEPhone(-1)};
        return {ChannelSocket(fds[1], maxWrite), BLEPhone(fds[0])};
    }

    int fd() const { return fd_; }
    void hangUp() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool write(const QByteArray& bytes) {
        qsizetype done = 0;
        return waitUntil([&] {
                   const ssize_t n = ::send(fd_, bytes.constData() + done,
                                            size_t(bytes.size() - done), MSG_NOSIGNAL);
                   if (n > 0) done += n;
                   return done == bytes.size() || (n < 0 && errno != EAGAIN);
               }) &&
               done == bytes.size();
    }
    bool send(quint8 type, const QByteArray& payload) {
        return write(*FrameCodec::encode(type, payload));
    }
    bool sendJSON(const QJsonObject& message) {
        return send(Frame::kJSON, QJsonDocument(message).toJson(QJsonDocument::Compact));
    }

    // Takes in what has arrived; notes when the agent has closed the connection.
    void pump() {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                raw.append(buffer, n);
                packets.append(QByteArray(buffer, n));
                parser_.append(QByteArrayView(buffer, n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) closed = true;
            break;
        }
        Frame frame;
        while (parser_.next(frame) == FrameParser::Result::Frame) frames.append(frame);
    }
    bool waitFrames(qsizetype count) {
        return waitUntil([&] {
            pump();
            return frames.size() >= count;
        });
    }
    QJsonObject json(qsizetype index) const {
        return QJsonDocument::fromJson(frames.value(index).payload).object();
    }
    // The reply to one message; {} when none came.
    QJsonObject request(const QJsonObject& message) {
        const qsizetype before = frames.size();
        sendJSON(message);
        return waitFrames(before + 1) ? json(before) : QJsonObject{};
    }
    bool waitClosed() {
        return waitUntil([&] {
            pump();
            return closed;
        });
    }

    QByteArray raw;
    QList<QByteArray> packets;
    QList<Frame> frames;
    bool closed = false;

private:
    int fd_ = -1;
    FrameParser parser_;
};
