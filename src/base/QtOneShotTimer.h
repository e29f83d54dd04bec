// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/OneShotTimer.h"

#include <QTimer>

// OneShotTimer on a QTimer of the current thread's event loop.
class QtOneShotTimer : public OneShotTimer {
public:
    QtOneShotTimer();

    void start(std::chrono::milliseconds delay, std::function<void()> task) override;
    void cancel() override;
    bool active() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> task_;
};
