// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/QtInputClock.h"

#include "base/Clock.h"

#include <QTimer>

#include <cmath>

QtInputClock::~QtInputClock() {
    delete timer_;
}

double QtInputClock::now() {
    return systemUptime();
}

void QtInputClock::startTicker(std::function<void()> tick) {
    tick_ = std::move(tick);
    if (!timer_) {
        timer_ = new QTimer;
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(kTickMilliseconds);
        QObject::connect(timer_, &QTimer::timeout, [this] {
            if (running_) tick_();
        });
    }
    running_ = true;
    restartTicker();
    // The first tick is due now, not one period from now.
    QMetaObject::invokeMethod(
        timer_,
        [this] {
            if (running_) tick_();
        },
        Qt::QueuedConnection);
}

void QtInputClock::stopTicker() {
    running_ = false;
    if (timer_) timer_->stop();
}

double QtInputClock::untilNextTick() {
    // A precise timer keeps to its grid (unless it falls a whole period behind).
    const double period = kTickMilliseconds / 1000.0;
    const double elapsed = now() - timerStartedAt_;
    return period * (std::floor(elapsed / period) + 1) - elapsed;
}

void QtInputClock::restartTicker() {
    timer_->start();
    timerStartedAt_ = now();
}
