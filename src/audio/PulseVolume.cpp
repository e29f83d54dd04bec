// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/PulseVolume.h"

#include "audio/PulseConnection.h"
#include "audio/SinkVolume.h"
#include "base/Log.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>

namespace {
struct SinkQuery {
    bool done = false;
    bool found = false;
    QByteArray name;
    pa_cvolume volume{};
    bool muted = false;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* query = static_cast<SinkQuery*>(userdata);
    if (info && info->default_sink_name) query->name = info->default_sink_name;
    query->done = true;
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* query = static_cast<SinkQuery*>(userdata);
    if (eol != 0) {
        query->done = true;
        return;
    }
    query->found = true;
    query->volume = info->volume;
    query->muted = info->mute != 0;
}

void onSuccess(pa_context*, int success, void* userdata) {
    *static_cast<int*>(userdata) = success ? 1 : 0;
}

// A request the library refused to send gives no operation.
bool sent(pa_operation* operation) {
    if (!operation) return false;
    pa_operation_unref(operation);
    return true;
}

QString describe(const PulseConnection& pulse) {
    return pulse.failure().isEmpty() ? QStringLiteral("no default output device") : pulse.failure();
}
}  // namespace

PulseVolume::PulseVolume(std::chrono::milliseconds budget) : budget_(budget) {}

std::optional<PulseVolume::Sink> PulseVolume::defaultSink(PulseConnection& pulse) {
    if (!pulse.connected()) return std::nullopt;
    SinkQuery query;
    if (!sent(pa_context_get_server_info(pulse.context(), onServerInfo, &query)) ||
        !pulse.waitFor([&] { return query.done; }) || query.name.isEmpty())
        return std::nullopt;
    query.done = false;
    if (!sent(pa_context_get_sink_info_by_name(pulse.context(), query.name.constData(), onSinkInfo,
                                               &query)) ||
        !pulse.waitFor([&] { return query.done; }) || !query.found)
        return std::nullopt;
    return Sink{query.name, query.volume, query.muted};
}

std::optional<VolumeControl::Reading> PulseVolume::get() {
    PulseConnection pulse(budget_);
    const std::optional<Sink> sink = defaultSink(pulse);
    reportFailure(sink ? QString() : describe(pulse));
    if (!sink) return std::nullopt;
    return Reading{sinkLevel(sink->volume), sink->muted};
}

void PulseVolume::set(float value) {
    PulseConnection pulse(budget_);
    const std::optional<Sink> sink = defaultSink(pulse);
    bool ok = false;
    if (sink) {
        const pa_cvolume volume = sinkVolumeAt(sink->volume, value);
        int success = -1;
        ok = sent(pa_context_set_sink_volume_by_name(pulse.context(), sink->name.constData(),
                                                     &volume, onSuccess, &success)) &&
             pulse.waitFor([&] { return success >= 0; }) && (success == 1 || pulse.fail("set"));
    }
    reportFailure(ok ? QString() : describe(pulse));
}

void PulseVolume::toggleMute() {
    PulseConnection pulse(budget_);
    const std::optional<Sink> sink = defaultSink(pulse);
    bool ok = false;
    if (sink) {
        int success = -1;
        ok = sent(pa_context_set_sink_mute_by_name(pulse.context(), sink->name.constData(),
                                                   !sink->muted, onSuccess, &success)) &&
             pulse.waitFor([&] { return success >= 0; }) && (success == 1 || pulse.fail("mute"));
    }
    reportFailure(ok ? QString() : describe(pulse));
}

// Logged when the trouble starts, changes or ends, not at every key press while it lasts:
// what was asked meanwhile was not carried out.
void PulseVolume::reportFailure(const QString& failure) {
    if (failure == lastFailure_) return;
    lastFailure_ = failure;
    if (failure.isEmpty())
        logLine(QStringLiteral("Volume available again"));
    else
        logWarning(QStringLiteral("Volume unavailable: %1").arg(failure));
}
