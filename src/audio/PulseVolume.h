// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/VolumeControl.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

#include <pulse/volume.h>

class PulseConnection;

// The default sink of the sound server, looked up afresh for every operation.
class PulseVolume : public VolumeControl {
public:
    static constexpr std::chrono::milliseconds kBudget{250};

    explicit PulseVolume(std::chrono::milliseconds budget = kBudget);

    std::optional<Reading> get() override;
    void set(float value) override;
    void toggleMute() override;

private:
    struct Sink {
        QByteArray name;
        pa_cvolume volume;
        bool muted;
    };

    std::optional<Sink> defaultSink(PulseConnection& pulse);
    void reportFailure(const QString& failure);

    const std::chrono::milliseconds budget_;
    QString lastFailure_;
};
