#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A private bus with one of our python stand-ins on it (tests/e2e/olvane_e2e/<module>.py, which
// prints "ready" once it owns its name), and calls to the stand-in's test control interface on
// /org/olvane/test.
class DBusFake {
public:
    DBusFake(const QString& module, QString busName, QString control, const QStringList& args);
    ~DBusFake();

    bool running() const { return running_; }
    QString address() const { return address_; }
    // The test's connection to the private bus, for the side under test too.
    QDBusConnection bus() const { return QDBusConnection(connectionName_); }

    QDBusMessage call(const QString& method, const QVariantList& args = {});
    // The stand-in goes away, the bus stays.
    void quit();

private:
    QTemporaryDir dir_;
    QString address_;
    QString busName_;
    QString control_;
    qint64 busPid_ = 0;
    QProcess fake_;
    QString connectionName_;
    bool running_ = false;
};
