// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Log.h"

#include <QDateTime>

#include <sys/stat.h>
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

// Under systemd, stderr may be a stream of the journal, which stamps each line with the time,
// the program and its pid itself. JOURNAL_STREAM names that stream ("<device>:<inode>"); it
// counts only while stderr is still the stream, not once redirected elsewhere.
bool stderrIsJournal() {
    const QList<QByteArray> ids = qgetenv("JOURNAL_STREAM").split(':');
    struct stat status {};
    if (ids.size() != 2 || ::fstat(STDERR_FILENO, &status) != 0) return false;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = ids[0].toULongLong(&deviceOk);
    const qulonglong inode = ids[1].toULongLong(&inodeOk);
    return deviceOk && inodeOk && device == status.st_dev && inode == status.st_ino;
}

QString prefix() {
    static const bool journal = stderrIsJournal();
    if (journal) return QString();
    return QStringLiteral("%1 olvane-helper[%2]: ")
        .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs))
        .arg(::getpid());
}
}  // namespace

void setLogSink(LogSink newSink) {
    sink.store(newSink);
}

void logLine(const QString& raw) {
    const QString text = escapeControls(raw);
    const QByteArray line = (prefix() + text + QLatin1Char('\n')).toUtf8();
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
