#pragma once

#include "input/Input.h"
#include "support/ManualInputClock.h"
#include "support/RecordingBackend.h"

#include <memory>
#include <optional>

// A volume whose readings the test sets and whose writes it reads back.
struct RecordingVolume : VolumeControl {
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

// Input over a recording backend with one 1920x1080 display, the cursor at (500, 500), and a
// clock driven by hand.
struct InputHarness {
    using Event = RecordingBackend::Event;

    RecordingBackend* backend = new RecordingBackend;
    ManualInputClock* clock = new ManualInputClock;
    std::unique_ptr<Input> input;

    InputHarness() {
        backend->displays = {QRectF(0, 0, 1920, 1080)};
        backend->cursor = QPointF(500, 500);
        input = std::make_unique<Input>(std::unique_ptr<InputBackend>(backend),
                                        std::unique_ptr<InputClock>(clock));
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
    // What was posted until the smoothing came to rest.
    QList<Event> drain() {
        clock->tickUntilStopped(*input, 10000);
        return take();
    }
};
