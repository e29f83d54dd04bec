// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/SinkVolume.h"

#include <algorithm>
#include <cmath>

float sinkLevel(const pa_cvolume& volume) {
    const double level = double(pa_cvolume_avg(&volume)) / PA_VOLUME_NORM;
    return float(std::min(level, 1.0));
}

pa_cvolume sinkVolumeAt(const pa_cvolume& volume, float level) {
    const double target = double(level) * PA_VOLUME_NORM;
    const double average = double(pa_cvolume_avg(&volume));
    pa_cvolume result = volume;
    for (unsigned i = 0; i < volume.channels; ++i) {
        const double scaled = average > 0 ? volume.values[i] * (target / average) : target;
        result.values[i] = pa_volume_t(std::clamp(std::lround(scaled), 0L, long(PA_VOLUME_MAX)));
    }
    return result;
}
