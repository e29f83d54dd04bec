#pragma once

#include "base/OneShotTimer.h"

#include <optional>

// A one-shot timer that fires only when the test says so, remembering the delay it was given.
class ManualTimer : public OneShotTimer {
public:
    void start(std::chrono::milliseconds delay, std::function<void()> task) override {
        delay_ = delay;
        task_ = std::move(task);
        ++starts_;
    }
    void cancel() override { task_ = nullptr; }
    bool active() const override { return bool(task_); }

    // Runs the pending task as the delay's end would; false when none is pending.
    bool fire() {
        std::function<void()> task = std::move(task_);
        task_ = nullptr;
        if (!task) return false;
        task();
        return true;
    }
    std::optional<std::chrono::milliseconds> delay() const { return delay_; }
    int starts() const { return starts_; }

private:
    std::function<void()> task_;
    std::optional<std::chrono::milliseconds> delay_;
    int starts_ = 0;
};
