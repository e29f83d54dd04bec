#include "base/Log.h"

#include <QDateTime>

#include <unistd.h>

#include <atomic>
#include <mutex>

namespace {
std::atomic<LogSink> sink{nullptr};
std::mutex writeMutex;
}  // namespace

void setLogSink(LogSink newSink) {
    sink.store(newSink);
}

void logLine(const QString& text) {
    const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    const QByteArray line =
        QStringLiteral("%1 olvane-helper[%2]: %3\n").arg(stamp).arg(::getpid()).arg(text).toUtf8();
    if (LogSink s = sink.load()) s(text);
    std::lock_guard lock(writeMutex);
    // One write per line so that lines from several threads never interleave.
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.constData() + done, line.size() - done);
        if (n <= 0) break;
        done += n;
    }
}
