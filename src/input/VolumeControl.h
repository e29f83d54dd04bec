#pragma once

#include <optional>

// The default output device's volume and mute, called on the input queue.
class VolumeControl {
public:
    virtual ~VolumeControl() = default;
    // 0.0 to 1.0; none when there is no device or the volume cannot be read.
    virtual std::optional<float> get() = 0;
    // value is already clamped to 0.0 to 1.0. Does nothing without a device.
    virtual void set(float value) = 0;
    virtual void toggleMute() = 0;
};
