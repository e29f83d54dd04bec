#include "support/XvfbServer.h"

#include "support/ListedPrograms.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

XvfbServer::XvfbServer(int width, int height) : width_(width), height_(height) {
    launch();
}

XvfbServer::~XvfbServer() {
    stop();
}

bool XvfbServer::launch() {
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->setStandardErrorFile(QProcess::nullDevice());
    process_->start(
        listedProgram(QStringLiteral("Xvfb")),
        // Xvfb announces its display on the descriptor we name, here its standard output.
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
         QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width_).arg(height_),
         QStringLiteral("-noreset"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!process_->waitForStarted(10000)) return false;
    QDeadlineTimer announced(20000);
    while (!process_->canReadLine() && !announced.hasExpired() &&
           process_->state() == QProcess::Running)
        process_->waitForReadyRead(100);
    const QString number = QString::fromLatin1(process_->readLine()).trimmed();
    if (number.isEmpty()) return false;
    display_ = QLatin1Char(':') + number;
    // Ready once a client gets an answer.
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        bool ok = false;
        run(QStringLiteral("xdpyinfo"), {}, &ok);
        if (ok) return true;
        if (process_->state() != QProcess::Running) return false;
        QThread::msleep(20);
    }
    return false;
}

bool XvfbServer::running() const {
    return process_ && process_->state() == QProcess::Running;
}

void XvfbServer::stop() {
    if (!running()) return;
    process_->terminate();
    if (!process_->waitForFinished(10000)) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

QString XvfbServer::run(const QString& program, const QStringList& arguments, bool* ok) const {
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    client.setProcessEnvironment(env);
    client.start(listedProgram(program), arguments);
    const bool finished = client.waitForStarted(10000) && client.waitForFinished(20000);
    if (ok) *ok = finished && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    return QString::fromUtf8(client.readAllStandardOutput());
}

QPoint XvfbServer::pointer() const {
    const QString out = run(QStringLiteral("xdotool"), {"getmouselocation", "--shell"});
    const QRegularExpressionMatch x = QRegularExpression(QStringLiteral("X=(-?\\d+)")).match(out);
    const QRegularExpressionMatch y = QRegularExpression(QStringLiteral("Y=(-?\\d+)")).match(out);
    if (!x.hasMatch() || !y.hasMatch()) return {-1, -1};
    return {x.captured(1).toInt(), y.captured(1).toInt()};
}

QList<int> XvfbServer::keysDown() const {
    // The core keyboard's slaves: the server's own keyboard and the one XTEST clients share.
    const QString out =
        run(QStringLiteral("xinput"), {"query-state", "Xvfb keyboard"}) +
        run(QStringLiteral("xinput"), {"query-state", "Virtual core XTEST keyboard"});
    QList<int> keys;
    QRegularExpressionMatchIterator it =
        QRegularExpression(QStringLiteral("key\\[(\\d+)\\]=down")).globalMatch(out);
    while (it.hasNext()) keys.append(it.next().captured(1).toInt());
    return keys;
}

bool XvfbServer::capsLockOn() const {
    return run(QStringLiteral("xset"), {"q"})
        .contains(QRegularExpression(QStringLiteral("Caps Lock:\\s+on")));
}

QString XvfbServer::keyboardMapping() const {
    return run(QStringLiteral("xmodmap"), {"-pke"});
}
