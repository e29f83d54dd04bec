// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/VolumeWatch.h"

#include <utility>

VolumeWatch::VolumeWatch(Read read, Report report, Wanted wanted)
    : read_(std::move(read)), report_(std::move(report)), wanted_(std::move(wanted)) {}

void VolumeWatch::changed() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        if (!wanted_()) {
            // A watcher who comes later is told the volume then: what it sees next must be
            // compared with that, not with a reading from before.
            last_.reset();
            return;
        }
        if (reading_) {
            again_ = true;
            return;
        }
        reading_ = true;
    }
    // Outside the lock: the answer may come at once, on this thread.
    read_([this](const Reading& reading) { answered(reading); });
}

void VolumeWatch::answered(const Reading& reading) {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        reading_ = false;
        if (last_ != reading) {
            last_ = reading;
            report_(reading);
        }
        if (!std::exchange(again_, false)) return;
    }
    changed();
}

void VolumeWatch::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
}
