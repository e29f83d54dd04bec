// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDeadlineTimer>
#include <QString>

#include <chrono>
#include <functional>

struct pa_context;
struct pa_mainloop;

// One short-lived connection to the sound server (PulseAudio or PipeWire's pulse server).
// Everything it does, connecting included, must finish within its time budget: a server
// that hangs costs the caller no more than that, and the connection is always released.
class PulseConnection {
public:
    explicit PulseConnection(std::chrono::milliseconds budget);
    ~PulseConnection();

    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    bool connected() const { return connected_; }
    pa_context* context() const { return context_; }
    // Why the last step failed: a refused connection, a timeout, the server's error.
    const QString& failure() const { return failure_; }

    // Runs the server conversation until done() holds; false on timeout or a lost server.
    bool waitFor(const std::function<bool()>& done);
    // Sets the failure to the server's last error and returns false.
    bool fail(const char* what);

private:
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    QDeadlineTimer deadline_;
    bool connected_ = false;
    QString failure_;
};
