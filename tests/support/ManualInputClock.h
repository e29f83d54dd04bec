#pragma once

#include "input/Input.h"

#include <atomic>

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
    // One tick; false when the ticker is stopped.
    bool tick(Input& input) { return tickUntilStopped(input, 1) == 1; }
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
