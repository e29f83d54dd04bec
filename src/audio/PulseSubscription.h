// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

struct pa_context;
struct pa_threaded_mainloop;
struct pa_time_event;

// A lasting connection to the sound server that hears of every change to its sinks and to
// its default sink. It lives on a thread of libpulse's own, so a server that hangs or is gone
// holds up nobody. A lost server is logged and looked for again, each time a little later (up
// to kLongestRetryMs: no busy loop), and its return is logged too.
class PulseSubscription {
public:
    static constexpr int kFirstRetryMs = 500;
    static constexpr int kLongestRetryMs = 16000;

    // changed runs on the subscription's thread, and must not wait: when a sink or the default
    // sink may have changed, and when the server comes back or goes away.
    explicit PulseSubscription(std::function<void()> changed);
    ~PulseSubscription();

    PulseSubscription(const PulseSubscription&) = delete;
    PulseSubscription& operator=(const PulseSubscription&) = delete;

private:
    void connect();
    void stateChanged();
    void subscribe();
    void failed();
    void retry();
    void dropContext();

    const std::function<void()> changed_;
    pa_threaded_mainloop* loop_ = nullptr;
    // Below: touched only on the subscription's thread, or while it is stopped.
    pa_context* context_ = nullptr;
    pa_time_event* retry_ = nullptr;
    int retryMs_ = kFirstRetryMs;
    bool subscribed_ = false;
    // A failure to reach the server was logged, and its return not yet.
    bool failing_ = false;
};
