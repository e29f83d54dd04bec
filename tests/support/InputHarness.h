#pragma once

#include "input/Input.h"
#include "support/ManualInputClock.h"
#include "support/RecordingBackend.h"

#include <QList>

#include <memory>
#include <optional>

// A volume whose readings the test sets and whose writes it reads back.
class RecordingVolume : public VolumeControl {
public:
    std::optional<float> reading;
    bool muted = false;
    QList<float> writes;

    std::optional<Reading> get() override {
        if (!reading) return std::nullopt;
        return Reading{*reading, muted};
    }
    void set(float value) override {
        writes.append(value);
        reading = value;
    }
    void toggleMute() override { muted = !muted; }
};

// Input over a recording backend with one 1920x1080 display and a hand-driven clock.
struct InputHarness {
    using Event = RecordingBackend::Event;

    RecordingBackend* backend;
    ManualInputClock* clock;
    std::unique_ptr<Input> input;

    explicit InputHarness(Input::Options options = {}) {
        auto recording = std::make_unique<RecordingBackend>();
        auto manual = std::make_unique<ManualInputClock>();
        backend = recording.get();
        clock = manual.get();
        backend->setDisplays({QRectF(0, 0, 1920, 1080)});
        backend->setCursor(QPointF(500, 500));
        input = std::make_unique<Input>(std::move(recording), std::move(manual), options);
    }

    // Waits until every operation queued so far has run.
    void flush() {
        input->queue().sync([] {});
    }
    bool tick() { return clock->tick(*input); }
    QList<Event> take() {
        flush();
        return backend->takeEvents();
    }
};
