// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/Input.h"
#include "support/RecordingBackend.h"

#include <atomic>
#include <memory>
#include <optional>

// A clock that moves only when the test moves it, and a ticker that ticks, on the input queue
// as the timer would, when time reaches its ticks. Time is counted in whole microseconds, so
// that a tick falls exactly where it is due.
class ManualInputClock : public InputClock {
public:
    static constexpr qint64 kPeriod = kTickMilliseconds * 1000;

    double now() override { return double(now_.load()) / 1e6; }
    void startTicker(std::function<void()> tick) override {
        tick_ = std::move(tick);
        running_ = true;
        nextTick_ = now_.load();
    }
    void stopTicker() override { running_ = false; }
    double untilNextTick() override { return double(nextTick_ - now_.load()) / 1e6; }
    void restartTicker() override { nextTick_ = now_.load() + kPeriod; }

    // Moves time on, running every tick that falls due on the way at its time.
    void advance(Input& input, double seconds) {
        const qint64 until = now_.load() + std::llround(seconds * 1e6);
        input.queue().sync([&] {
            while (running_ && nextTick_ <= until) runTick();
            now_ = until;
        });
    }
    // Moves time on tick by tick until the ticker stops, at most limit ticks; how many ran.
    int tickUntilStopped(Input& input, int limit) {
        int ticks = 0;
        input.queue().sync([&] {
            for (; ticks < limit && running_; ++ticks) runTick();
        });
        return ticks;
    }

private:
    void runTick() {
        now_ = std::max(now_.load(), nextTick_);
        nextTick_ = now_ + kPeriod;
        tick_();
    }

    std::atomic<qint64> now_{1'000'000'000};
    qint64 nextTick_ = 0;  // on the input queue only
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
        input->audioQueue().sync([] {});
        input->queue().sync([] {});
    }
    void advance(double seconds) { clock->advance(*input, seconds); }
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
