// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>

// A timer that runs one task once after a delay, on the thread that started it. Starting it
// again replaces the pending task.
class OneShotTimer {
public:
    virtual ~OneShotTimer() = default;

    virtual void start(std::chrono::milliseconds delay, std::function<void()> task) = 0;
    virtual void cancel() = 0;
    virtual bool active() const = 0;

    // The event-loop timer of the running application.
    static std::unique_ptr<OneShotTimer> create();
};
