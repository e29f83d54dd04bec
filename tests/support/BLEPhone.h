// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Wait.h"
#include "transport/ble/FrameCodec.h"
#include "transport/ble/FrameParser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

// A phone on a Bluetooth channel, reduced to its end of a connected packet socket, as L2CAP
// gives: it writes frames and reads the agent's, letting the event loop run while it waits.
class BLEPhone {
public:
    explicit BLEPhone(int fd) : fd_(fd) {}
    BLEPhone(BLEPhone&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    ~BLEPhone() {
        if (fd_ >= 0) ::close(fd_);
    }

    bool write(const QByteArray& bytes) {
        return ::send(fd_, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
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
        ssize_t n;
        while ((n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
            packets.append(QByteArray(buffer, n));
            parser_.append(QByteArrayView(buffer, n));
        }
        closed = closed || n == 0 || errno != EAGAIN;
        Frame frame;
        while (parser_.next(frame) == FrameParser::Result::Frame) frames.append(frame);
    }
    bool waitFrames(qsizetype count) {
        return waitUntil([&] { return pump(), frames.size() >= count; });
    }
    bool waitClosed() {
        return waitUntil([&] { return pump(), closed; });
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

    QList<QByteArray> packets;
    QList<Frame> frames;
    bool closed = false;

private:
    int fd_ = -1;
    FrameParser parser_;
};
