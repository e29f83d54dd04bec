// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/PulseSubscription.h"

#include "base/Log.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <utility>

PulseSubscription::PulseSubscription(std::function<void()> changed)
    : changed_(std::move(changed)), loop_(pa_threaded_mainloop_new()) {
    pa_threaded_mainloop_set_name(loop_, "olvane.pulse");
    if (pa_threaded_mainloop_start(loop_) < 0) {
        logWarning(
            QStringLiteral("Volume watch: cannot start its thread; changes made on the "
                           "computer are not followed"));
        return;
    }
    pa_threaded_mainloop_lock(loop_);
    connect();
    pa_threaded_mainloop_unlock(loop_);
}

PulseSubscription::~PulseSubscription() {
    pa_threaded_mainloop_stop(loop_);
    dropContext();
    if (retry_) pa_threaded_mainloop_get_api(loop_)->time_free(retry_);
    pa_threaded_mainloop_free(loop_);
}

void PulseSubscription::connect() {
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "olvane-helper");
    pa_context_set_state_callback(
        context_,
        [](pa_context*, void* self) { static_cast<PulseSubscription*>(self)->stateChanged(); },
        this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) failed();
}

void PulseSubscription::stateChanged() {
    const pa_context_state_t state = pa_context_get_state(context_);
    if (state == PA_CONTEXT_READY) subscribe();
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) failed();
}

void PulseSubscription::subscribe() {
    pa_context_set_subscribe_callback(
        context_,
        [](pa_context*, pa_subscription_event_type_t, uint32_t, void* self) {
            static_cast<PulseSubscription*>(self)->changed_();
        },
        this);
    pa_operation* operation = pa_context_subscribe(
        context_, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER),
        nullptr, nullptr);
    if (operation) pa_operation_unref(operation);
    subscribed_ = true;
    retryMs_ = kFirstRetryMs;
    // What changed while nobody listened; asked before the line, which readers may wait for.
    changed_();
    if (std::exchange(failing_, false))
        logLine(QStringLiteral("Volume watch: following the sound server again"));
}

// Logged at every loss; a server that stays away is logged once, not at every attempt.
void PulseSubscription::failed() {
    if (retry_) return;  // already handled: a refused connection reports its state as well
    const QString why = QLatin1String(pa_strerror(pa_context_errno(context_)));
    if (std::exchange(subscribed_, false)) {
        logWarning(QStringLiteral("Volume watch: lost the sound server (%1); looking for it "
                                  "again in the background")
                       .arg(why));
        failing_ = true;
        changed_();  // now unavailable
    } else if (!std::exchange(failing_, true)) {
        logWarning(QStringLiteral("Volume watch: no sound server (%1); looking for it again in "
                                  "the background")
                       .arg(why));
    }
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(retryMs_) * PA_USEC_PER_MSEC);
    retryMs_ = std::min(retryMs_ * 2, kLongestRetryMs);
    retry_ = pa_threaded_mainloop_get_api(loop_)->time_new(
        pa_threaded_mainloop_get_api(loop_), &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            static_cast<PulseSubscription*>(self)->retry();
        },
        this);
}

// The failed context is let go here rather than in its own callback.
void PulseSubscription::retry() {
    pa_threaded_mainloop_get_api(loop_)->time_free(retry_);
    retry_ = nullptr;
    dropContext();
    connect();
}

void PulseSubscription::dropContext() {
    if (!context_) return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}
