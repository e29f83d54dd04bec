// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

// The default output device's volume and mute, called on Input's audio queue.
class VolumeControl {
public:
    struct Reading {
        float level;  // 0.0 to 1.0
        bool muted;
    };

    virtual ~VolumeControl() = default;
    // Both in one look at the device; none when there is no device or it cannot be read.
    virtual std::optional<Reading> get() = 0;
    // value is already clamped to 0.0 to 1.0. Does nothing without a device.
    virtual void set(float value) = 0;
    virtual void toggleMute() = 0;
};
