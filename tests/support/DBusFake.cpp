#include "support/DBusFake.h"

#include "support/ListedPrograms.h"

#include <QDBusConnection>
#include <QDeadlineTimer>

#include <csignal>

DBusFake::DBusFake(const QString& module, QString busName, QString control, const QStringList& args)
    : busName_(std::move(busName)), control_(std::move(control)) {
    address_ = QStringLiteral("unix:path=%1").arg(dir_.filePath("bus"));
    QProcess bus;
    bus.start(listedProgram(QStringLiteral("dbus-daemon")),
              {"--session", "--fork", "--nopidfile", "--address=" + address_, "--print-pid=1"});
    if (!bus.waitForFinished(10000) || bus.exitCode() != 0) return;
    busPid_ = bus.readAllStandardOutput().trimmed().toLongLong();

    fake_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fake_.setWorkingDirectory(QStringLiteral(OLVANE_E2E_DIR));
    fake_.start(listedProgram(QStringLiteral("/usr/bin/python3")),
                QStringList{"-m", "olvane_e2e." + module, "--address", address_} + args);
    QDeadlineTimer deadline(10000);
    while (!fake_.canReadLine() && !deadline.hasExpired() && fake_.state() != QProcess::NotRunning)
        fake_.waitForReadyRead(100);
    if (fake_.readLine().trimmed() != "ready") return;

    static int connections = 0;
    connectionName_ = QStringLiteral("%1-control-%2").arg(module).arg(++connections);
    running_ = QDBusConnection::connectToBus(address_, connectionName_).isConnected();
}

DBusFake::~DBusFake() {
    QDBusConnection::disconnectFromBus(connectionName_);
    quit();
    if (busPid_ > 0) ::kill(pid_t(busPid_), SIGTERM);
}

void DBusFake::quit() {
    if (fake_.state() == QProcess::NotRunning) return;
    fake_.terminate();
    if (!fake_.waitForFinished(5000)) fake_.kill();
    fake_.waitForFinished(5000);
}

QDBusMessage DBusFake::call(const QString& method, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        busName_, QStringLiteral("/org/olvane/test"), control_, method);
    message.setArguments(args);
    return QDBusConnection(connectionName_).call(message, QDBus::Block, 10000);
}
