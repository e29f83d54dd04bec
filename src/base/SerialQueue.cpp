// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/SerialQueue.h"

#include <QTimer>

SerialQueue::SerialQueue(const QString& label) : label_(label), context_(new QObject) {
    thread_.setObjectName(label);
    context_->moveToThread(&thread_);
    thread_.start();
}

SerialQueue::~SerialQueue() {
    thread_.quit();
    thread_.wait();
    delete context_;
}

void SerialQueue::async(std::function<void()> task) {
    QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
}

void SerialQueue::sync(const std::function<void()>& task) {
    if (isCurrent()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(context_, task, Qt::BlockingQueuedConnection);
}

void SerialQueue::after(std::chrono::milliseconds delay, std::function<void()> task) {
    // The timer must be started on the queue's own thread.
    async([this, delay, task = std::move(task)]() mutable {
        QTimer::singleShot(delay, context_, std::move(task));
    });
}

bool SerialQueue::isCurrent() const {
    return QThread::currentThread() == &thread_;
}
