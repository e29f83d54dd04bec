// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/Input.h"
#include "support/RecordingBackend.h"

#include <atomic>
#include <memory>
#include <optional>

// A clock the test advances, and a ticker that ticks, on the input queue as the timer would,
// only when the test says so.
class ManualInputClock : public InputClock {
public:
    double now() override { return now_.load(); }
    void startTicker(std::function<void()> tick) override {
        tick_ = std::move(tick);
        running_ = true;
    }
    void stopTicker() override { running_ = false; }

    void advance(double seconds) { now_ = now_.load() + seconds; }
    // Ticks until the ticker stops, at most limit times; how many ticks ran.
    int tickUntilStopped(Input& input, int limit) {
        int ticks = 0;
        input.queue().sync([&] {
            for (; ticks < limit && running_; ++ticks) tick_();
        });
        return ticks;
    }

private:
    std::atomic<double> now_{1000.0};
    std::atomic<bool> running_{false};
    std::function<void()> tick_;
};

// A volume whose readings the test sets and whose writes it reads back.
struct RecordingVolume : VolumeControl {
    std::optional<float> reading;
    QList<float> writes;

    std::optional<Reading> get() override {
        return reading ? std::optional(Reading{*reading, false}) : std::nullopt;
    }
    void set(float value) override { writes.append(value); }
    void toggleMute() override {}
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
    // One tick; false when the ticker is stopped.
    bool tick() { return clock->tickUntilStopped(*input, 1) == 1; }
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
