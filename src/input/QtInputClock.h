// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/InputClock.h"

class QTimer;

// The real clock: CLOCK_MONOTONIC and a precise Qt timer on the input queue's thread.
class QtInputClock : public InputClock {
public:
    ~QtInputClock() override;
    double now() override;
    void startTicker(std::function<void()> tick) override;
    void stopTicker() override;
    double untilNextTick() override;
    void restartTicker() override;

private:
    QTimer* timer_ = nullptr;    // created on first start, on the input queue's thread
    double timerStartedAt_ = 0;  // the timer ticks a whole number of periods after it
    std::function<void()> tick_;
    bool running_ = false;
};
