// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Log.h"

#include "base/LogLimiter.h"

#include <QDateTime>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <optional>

namespace {
constexpr qsizetype kLongestText = 1000;

std::atomic<LogSink> sink{nullptr};
std::mutex writeMutex;
// Under writeMutex.
std::optional<LogLimiter> limiter;

// Characters that must not reach a terminal or a log viewer as they are: controls would
// forge lines or rewrite the screen, format characters (bidirectional overrides and
// isolates, zero-width characters) would show text in another order than it was written.
bool mustEscape(char32_t c) {
    if (c == 0x2028 || c == 0x2029) return true;
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

void appendEscaped(QString& out, char32_t c) {
    if (c == '\n')
        out += QLatin1String("\\n");
    else if (c == '\r')
        out += QLatin1String("\\r");
    else if (c == '\t')
        out += QLatin1String("\\t");
    else if (mustEscape(c))
        out += c > 0xffff ? QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'))
                          : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    else
        out += QString::fromUcs4(&c, 1);
}

// Escaped, and cut where it grows too long for a line.
QString shown(const QString& text) {
    QString out;
    const QList<uint> characters = text.toUcs4();
    qsizetype i = 0;
    for (; i < characters.size() && out.size() < kLongestText; ++i)
        appendEscaped(out, char32_t(characters[i]));
    if (i < characters.size())
        out += QStringLiteral("… (%1 more characters)").arg(characters.size() - i);
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

// The journal reads a syslog priority in front of the text.
int priorityOf(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return 7;
        case QtInfoMsg:
            return 6;
        case QtWarningMsg:
            return 4;
        case QtCriticalMsg:
            return 3;
        case QtFatalMsg:
            return 2;
    }
    return 6;
}

QString severityWord(QtMsgType type) {
    if (type == QtCriticalMsg || type == QtFatalMsg) return QStringLiteral("error: ");
    if (type == QtWarningMsg) return QStringLiteral("warning: ");
    return QString();
}

QString prefix(QtMsgType type) {
    static const bool journal = stderrIsJournal();
    if (journal) return QStringLiteral("<%1>").arg(priorityOf(type));
    return QStringLiteral("%1 olvane-helper[%2]: %3")
        .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs))
        .arg(::getpid())
        .arg(severityWord(type));
}

// Under writeMutex. One write per line so that lines from several threads never interleave.
void write(const QString& text, QtMsgType type = QtInfoMsg) {
    if (LogSink s = sink.load()) s(text);
    const QByteArray line = (prefix(type) + text + QLatin1Char('\n')).toUtf8();
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.constData() + done, line.size() - done);
        if (n <= 0) break;
        done += n;
    }
}

void writeLimited(const QString& raw, QtMsgType type) {
    const QString text = shown(raw);
    std::lock_guard lock(writeMutex);
    if (!limiter) limiter.emplace();
    const QStringList lines = limiter->admit(text);
    // The count of lines held back before it is information.
    for (qsizetype i = 0; i < lines.size(); ++i)
        write(lines[i], i + 1 == lines.size() ? type : QtInfoMsg);
}

void handleQtMessage(QtMsgType type, const QMessageLogContext& /*context*/,
                     const QString& message) {
    writeLimited(message, type);
    // Qt aborts after a fatal message: what was held back is counted first.
    if (type == QtFatalMsg) flushLog();
}
}  // namespace

void setLogSink(LogSink newSink) {
    std::lock_guard lock(writeMutex);
    sink.store(newSink);
    limiter.reset();
}

void Log::write(const QLoggingCategory& category, QtMsgType type, const QString& text) {
    if (category.isEnabled(type)) writeLimited(text, type);
}

const QLoggingCategory& Log::fallbackCategory() {
    static const QLoggingCategory category("olvane");
    return category;
}

void installLogHandler() {
    qInstallMessageHandler(handleQtMessage);
}

void logCommand(const QString& text) {
    const QString shownText = shown(text);
    std::lock_guard lock(writeMutex);
    write(shownText);
}

void flushLog() {
    std::lock_guard lock(writeMutex);
    if (!limiter) return;
    for (const QString& line : limiter->flush()) write(line);
}
