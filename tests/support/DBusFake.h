// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/ListedPrograms.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

// A private bus with one of our python stand-ins on it (tests/e2e/olvane_e2e/<module>.py, which
// prints "ready" once it owns its name), and calls to the stand-in's test control interface on
// /org/olvane/test.
class DBusFake {
public:
    DBusFake(const QString& module, QString busName, QString control, const QStringList& args)
        : busName_(std::move(busName)), control_(std::move(control)) {
        QProcess daemon;
        daemon.start(listedProgram("dbus-daemon"), {"--session", "--fork", "--nopidfile",
                                                    "--address=" + address(), "--print-pid=1"});
        if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0) return;
        busPid_ = daemon.readAllStandardOutput().trimmed().toLongLong();
        fake_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        fake_.setWorkingDirectory(QStringLiteral(OLVANE_E2E_DIR));
        fake_.start(listedProgram("/usr/bin/python3"),
                    QStringList{"-m", "olvane_e2e." + module, "--address", address()} + args);
        while (!fake_.canReadLine() && fake_.waitForReadyRead(10000)) {
        }
        running_ = fake_.readLine().trimmed() == "ready" && bus().isConnected();
    }
    ~DBusFake() {
        QDBusConnection::disconnectFromBus(address());
        fake_.terminate();
        fake_.waitForFinished(5000);
        if (busPid_ > 0) ::kill(pid_t(busPid_), SIGTERM);
    }

    bool running() const { return running_; }
    QString address() const { return QStringLiteral("unix:path=%1").arg(dir_.filePath("bus")); }
    // The test's connection to the private bus, for the side under test too.
    QDBusConnection bus() const { return QDBusConnection::connectToBus(address(), address()); }

    QDBusMessage call(const QString& method, const QVariantList& args = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            busName_, QStringLiteral("/org/olvane/test"), control_, method);
        message.setArguments(args);
        return bus().call(message, QDBus::Block, 10000);
    }

private:
    QTemporaryDir dir_;
    QString busName_;
    QString control_;
    qint64 busPid_ = 0;
    QProcess fake_;
    bool running_ = false;
};
