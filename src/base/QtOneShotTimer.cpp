// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/QtOneShotTimer.h"

std::unique_ptr<OneShotTimer> OneShotTimer::create() {
    return std::make_unique<QtOneShotTimer>();
}

QtOneShotTimer::QtOneShotTimer() {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        // The task may start the timer again; take it out first.
        std::function<void()> task = std::move(task_);
        task_ = nullptr;
        if (task) task();
    });
}

void QtOneShotTimer::start(std::chrono::milliseconds delay, std::function<void()> task) {
    task_ = std::move(task);
    timer_.start(delay);
}

void QtOneShotTimer::cancel() {
    timer_.stop();
    task_ = nullptr;
}
