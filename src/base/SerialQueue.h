// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <chrono>
#include <functional>

// A named thread with its own event loop that runs the work given to it one task at a time,
// in the order it was given. Qt objects that belong to the queue are created on it and use
// context() as their parent or receiver.
class SerialQueue {
public:
    explicit SerialQueue(const QString& label);
    ~SerialQueue();

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> task);
    // Runs the task and waits for it. Called on the queue itself, it runs the task inline
    // instead of deadlocking.
    void sync(const std::function<void()>& task);
    void after(std::chrono::milliseconds delay, std::function<void()> task);

    bool isCurrent() const;
    QObject* context() const { return context_; }
    const QString& label() const { return label_; }

private:
    QString label_;
    QThread thread_;
    QObject* context_;
};
