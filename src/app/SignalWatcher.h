// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>

class QSocketNotifier;

// Turns POSIX signals into a call on the main thread, through a self-pipe, so that the
// handler may do anything the event loop may do.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    SignalWatcher(std::initializer_list<int> signalNumbers, std::function<void(int)> handler);
    ~SignalWatcher() override;

private:
    void drain();

    std::function<void(int)> handler_;
    QSocketNotifier* notifier_ = nullptr;
};
