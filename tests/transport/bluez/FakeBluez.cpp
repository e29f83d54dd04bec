#include "FakeBluez.h"

#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QJsonDocument>

#include <csignal>

namespace {
const QString kControlPath = QStringLiteral("/org/olvane/test");
const QString kControl = QStringLiteral("org.olvane.test.FakeBluez");
}  // namespace

FakeBluez::FakeBluez(Options options) {
    address_ = QStringLiteral("unix:path=%1").arg(dir_.filePath("system_bus"));
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {"--session", "--fork", "--nopidfile", "--address=" + address_, "--print-pid=1"});
    if (!bus.waitForFinished(10000) || bus.exitCode() != 0) return;
    busPid_ = bus.readAllStandardOutput().trimmed().toLongLong();

    QStringList args{"-m", "olvane_e2e.fake_bluez", "--address", address_};
    if (!options.powered) args << "--unpowered";
    if (!options.adapter) args << "--no-adapter";
    if (options.deny) args << "--deny";
    fake_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fake_.setWorkingDirectory(QStringLiteral(OLVANE_E2E_DIR));
    fake_.start(QStringLiteral("/usr/bin/python3"), args);
    QDeadlineTimer deadline(10000);
    while (!fake_.canReadLine() && !deadline.hasExpired() && fake_.state() != QProcess::NotRunning)
        fake_.waitForReadyRead(100);
    if (fake_.readLine().trimmed() != "ready") return;

    static int connections = 0;
    connectionName_ = QStringLiteral("fake-bluez-control-%1").arg(++connections);
    running_ = QDBusConnection::connectToBus(address_, connectionName_).isConnected();
}

FakeBluez::~FakeBluez() {
    QDBusConnection::disconnectFromBus(connectionName_);
    quitBluez();
    if (busPid_ > 0) ::kill(pid_t(busPid_), SIGTERM);
}

void FakeBluez::quitBluez() {
    if (fake_.state() == QProcess::NotRunning) return;
    fake_.terminate();
    if (!fake_.waitForFinished(5000)) fake_.kill();
    fake_.waitForFinished(5000);
}

QDBusMessage FakeBluez::call(const QString& method, const QVariantList& args) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), kControlPath, kControl, method);
    message.setArguments(args);
    return QDBusConnection(connectionName_).call(message, QDBus::Block, 10000);
}

QJsonObject FakeBluez::jsonCall(const QString& method) {
    const QDBusMessage reply = call(method);
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object();
}

void FakeBluez::setPowered(bool on) {
    call(QStringLiteral("SetPowered"), {on});
}

void FakeBluez::refuse(const QString& method, const QString& errorName, const QString& message) {
    call(QStringLiteral("Refuse"), {method, errorName, message});
}

void FakeBluez::releaseAdvertisement() {
    call(QStringLiteral("ReleaseAdvertisement"));
}

QJsonObject FakeBluez::application() {
    return jsonCall(QStringLiteral("Application"));
}

QJsonObject FakeBluez::advertisement() {
    return jsonCall(QStringLiteral("Advertisement"));
}

QJsonArray FakeBluez::calls() {
    const QDBusMessage reply = call(QStringLiteral("Calls"));
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
}

QByteArray FakeBluez::readCharacteristic(const QString& uuid, quint16 offset) {
    const QDBusMessage reply =
        call(QStringLiteral("ReadCharacteristic"), {uuid, QVariant::fromValue(offset)});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().value(0).toByteArray();
}
