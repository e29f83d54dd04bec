#include "support/ManualInputClock.h"

#include "input/Input.h"

void ManualInputClock::startTicker(std::function<void()> tick) {
    tick_ = std::move(tick);
    running_ = true;
    ++starts_;
}

bool ManualInputClock::tick(Input& input) {
    bool ran = false;
    input.queue().sync([&] {
        if (!running_) return;
        tick_();
        ran = true;
    });
    return ran;
}

int ManualInputClock::tickUntilStopped(Input& input, int limit) {
    int ticks = 0;
    input.queue().sync([&] {
        for (; ticks < limit && running_; ++ticks) tick_();
    });
    return ticks;
}
