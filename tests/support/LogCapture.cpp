#include "support/LogCapture.h"

#include "base/Log.h"

#include <mutex>

namespace {
std::mutex mutex;
QStringList captured;

void capture(const QString& line) {
    std::lock_guard lock(mutex);
    captured.append(line);
}
}  // namespace

LogCapture::LogCapture() {
    std::lock_guard lock(mutex);
    captured.clear();
    setLogSink(capture);
}

LogCapture::~LogCapture() {
    setLogSink(nullptr);
}

QStringList LogCapture::lines() const {
    std::lock_guard lock(mutex);
    return captured;
}

int LogCapture::count(const QString& line) const {
    return int(lines().count(line));
}
