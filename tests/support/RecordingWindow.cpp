#include "support/RecordingWindow.h"

#include "support/XvfbServer.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>

RecordingWindow::RecordingWindow(const XvfbServer& server) : process_(new QProcess) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), server.display());
    process_->setProcessEnvironment(env);
    process_->start(QStringLiteral(OLVANE_X11_WINDOW), {});
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && process_->state() != QProcess::NotRunning) {
        process_->waitForReadyRead(50);
        read();
        if (lines_.contains(QStringLiteral("ready"))) {
            ready_ = true;
            break;
        }
    }
    clear();
}

RecordingWindow::~RecordingWindow() {
    process_->terminate();
    if (!process_->waitForFinished(5000)) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

void RecordingWindow::read() {
    partial_ += process_->readAllStandardOutput();
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        lines_.append(QString::fromUtf8(partial_.left(end)));
        partial_.remove(0, end + 1);
    }
}

QStringList RecordingWindow::lines() {
    process_->waitForReadyRead(0);
    read();
    return lines_;
}

QStringList RecordingWindow::events(const QString& name) {
    QStringList found;
    const QString prefix = name + QLatin1Char(' ');
    for (const QString& line : lines()) {
        if (line == name) found.append(QString());
        if (line.startsWith(prefix)) found.append(line.mid(prefix.size()));
    }
    return found;
}

QString RecordingWindow::text() {
    QByteArray utf8;
    for (const QString& press : events(QStringLiteral("key-press"))) {
        const QString hex = press.section(QLatin1Char(' '), 2, 2);
        if (hex != QLatin1String("-")) utf8 += QByteArray::fromHex(hex.toLatin1());
    }
    return QString::fromUtf8(utf8);
}

QString RecordingWindow::waitForText(qsizetype length, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (text().toUcs4().size() < length && !deadline.hasExpired())
        process_->waitForReadyRead(20);
    return text();
}

bool RecordingWindow::waitForEvents(const QString& name, qsizetype count, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (events(name).size() < count) {
        if (deadline.hasExpired()) return false;
        process_->waitForReadyRead(20);
    }
    return true;
}

void RecordingWindow::clear() {
    lines();
    lines_.clear();
}
