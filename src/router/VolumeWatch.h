// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <mutex>
#include <optional>

// Turns the sound server's notices of change into readings for those who watch the volume. A
// burst of notices costs at most two readings: one is taken at a time, and the notices that
// come meanwhile ask for one more after it. Only a reading that differs from the last one is
// reported (a sink also changes in ways that leave volume and mute alone).
class VolumeWatch {
public:
    struct Reading {
        int percent;
        bool muted;
        bool available;
        bool operator==(const Reading&) const = default;
    };
    using Answer = std::function<void(const Reading&)>;
    // Takes a reading and answers once, from any thread, perhaps at once.
    using Read = std::function<void(Answer)>;
    using Report = std::function<void(const Reading&)>;
    using Wanted = std::function<bool()>;

    // report runs one at a time, in order; wanted says whether anyone watches at all.
    VolumeWatch(Read read, Report report, Wanted wanted);

    // From any thread: the volume, mute or default device may have changed.
    void changed();
    // Nothing is read or reported any more; readings still under way are ignored.
    void stop();

private:
    void answered(const Reading& reading);

    const Read read_;
    const Report report_;
    const Wanted wanted_;
    std::mutex mutex_;
    bool reading_ = false;
    bool again_ = false;
    bool stopped_ = false;
    std::optional<Reading> last_;
};
