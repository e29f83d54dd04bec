// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>

PulseConnection::PulseConnection(std::chrono::milliseconds budget) : deadline_(budget) {
    loop_ = pa_mainloop_new();
    context_ = pa_context_new(pa_mainloop_get_api(loop_), "olvane-helper");
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        fail("cannot connect");
        return;
    }
    connected_ = waitFor([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; });
}

PulseConnection::~PulseConnection() {
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    pa_mainloop_free(loop_);
}

bool PulseConnection::waitFor(const std::function<bool()>& done) {
    while (!done()) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
            return fail("connection lost");
        const qint64 remaining = deadline_.remainingTime();
        if (remaining == 0) {
            failure_ = QStringLiteral("no answer in time");
            return false;
        }
        if (pa_mainloop_prepare(loop_, int(remaining * 1000)) < 0 || pa_mainloop_poll(loop_) < 0 ||
            pa_mainloop_dispatch(loop_) < 0)
            return fail("main loop failed");
    }
    return true;
}

bool PulseConnection::fail(const char* what) {
    failure_ = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                            QLatin1String(pa_strerror(pa_context_errno(context_))));
    return false;
}
