#pragma once

#include "input/InputClock.h"

#include <atomic>

class Input;

// A clock the test advances, and a ticker that ticks only when the test says so.
class ManualInputClock : public InputClock {
public:
    double now() override { return now_.load(); }
    void startTicker(std::function<void()> tick) override;
    void stopTicker() override { running_ = false; }

    void advance(double seconds) { now_ = now_.load() + seconds; }
    bool running() const { return running_.load(); }
    int starts() const { return starts_.load(); }
    // Runs one tick on the input queue, as the timer would; false when the ticker is stopped.
    bool tick(Input& input);
    // Ticks until the ticker stops, at most limit times, in one visit to the input queue;
    // returns how many ticks ran.
    int tickUntilStopped(Input& input, int limit);

private:
    std::atomic<double> now_{1000.0};
    std::atomic<bool> running_{false};
    std::atomic<int> starts_{0};
    std::function<void()> tick_;
};
