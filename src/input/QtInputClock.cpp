// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/QtInputClock.h"

#include "base/Clock.h"

#include <QTimer>

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
    timer_->start();
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
