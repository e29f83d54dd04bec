// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/ClientSession.h"
#include "transport/ble/ChannelSocket.h"
#include "transport/ble/FrameParser.h"
#include "transport/ble/WriteBuffer.h"

#include <chrono>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;
class Router;

// One phone on a Bluetooth LE channel. Reads frames from its connected socket and hands them
// to the router with the channel's session, frames the session's replies, and tears itself
// down when the connection ends. The socket, both buffers and the router calls belong to the
// main thread; create(), open() and the session may be used from any thread. The last
// reference must be dropped on the main thread.
class BLEChannel : public std::enable_shared_from_this<BLEChannel> {
public:
    struct Limits {
        // A channel must send its first whole frame within this time.
        std::chrono::milliseconds firstFrameDeadline{10000};
        // A phone that leaves more reply bytes than this unread is cut off.
        qsizetype maxPendingBytes = 256 * 1024;
    };
    using Event = std::function<void(BLEChannel&)>;
    struct Callbacks {
        Event onClose;          // from every teardown(), with the channel itself
        Event onAuthenticated;  // once, after the frame that authenticated the session
    };

    static std::shared_ptr<BLEChannel> create(ChannelSocket socket, Router& router,
                                              Callbacks callbacks, Limits limits);
    ~BLEChannel();

    // Starts reading and writing on the main thread.
    void open();
    const std::shared_ptr<ClientSession>& session() const { return session_; }
    // Main thread only. Ends the connection and the session; a second call closes nothing
    // more and lowers no count, but reports the close again.
    void teardown();

private:
    BLEChannel(ChannelSocket socket, Router& router, Callbacks callbacks, Limits limits);

    void watch();
    void stopWatching();
    void onReadable();
    void resumeReading();
    void onWritable();
    // Reads what the socket holds, within one pass's bound; false once the peer has gone.
    bool readAvailable();
    void dispatchFrames();
    void dispatch(const Frame& frame);
    void enqueueFrame(quint8 type, const QByteArray& payload);
    void flushOut();
    void writePass();

    ChannelSocket socket_;
    Router& router_;
    const Callbacks callbacks_;
    const Limits limits_;
    FrameParser inBuffer_;
    WriteBuffer outBuffer_;
    std::shared_ptr<ClientSession> session_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<QTimer> deadline_;
    bool spoke_ = false;
    bool authReported_ = false;
};
