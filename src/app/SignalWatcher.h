// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/UniqueFd.h"

#include <QList>
#include <QObject>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

#include <signal.h>

class QSocketNotifier;

// Turns POSIX signals into a call on the main thread, through a self-pipe, so that the
// handler may do anything the event loop may do. One at a time. When it goes, the signals get
// back what they had before, and a signal that came after the last call is raised again: a
// SIGTERM during the teardown that follows still ends the process.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    SignalWatcher(std::initializer_list<int> signalNumbers, std::function<void(int)> handler);
    ~SignalWatcher() override;

private:
    void drain();

    std::function<void(int)> handler_;
    UniqueFd readEnd_, writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QList<std::pair<int, struct sigaction>> previous_;
};
