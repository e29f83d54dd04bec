// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/Log.h"

#include <QStringList>

#include <mutex>

// Collects the log lines written while it exists.
class LogCapture {
public:
    LogCapture() {
        lines_.clear();  // no sink writes to them now
        setLogSink([](const QString& line) {
            std::lock_guard lock(mutex_);
            lines_.append(line);
        });
    }
    ~LogCapture() { setLogSink(nullptr); }

    QStringList lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    int count(const QString& line) const { return int(lines().count(line)); }

private:
    static inline std::mutex mutex_;
    static inline QStringList lines_;
};
