#include "base/Log.h"

#include <QDateTime>

#include <unistd.h>

#include <atomic>
#include <mutex>

namespace {
std::atomic<LogSink> sink{nullptr};
std::mutex writeMutex;

// Text from peers reaches log lines; a line end or terminal escape in it must not forge
// lines nor rewrite the terminal, so controls are written as escapes.
QString escapeControls(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\n')
            out += QLatin1String("\\n");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u == '\t')
            out += QLatin1String("\\t");
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
}  // namespace

void setLogSink(LogSink newSink) {
    sink.store(newSink);
}

void logLine(const QString& raw) {
    const QString text = escapeControls(raw);
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
