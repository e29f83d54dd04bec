#include "FakeBluez.h"

#include <QDBusMessage>
#include <QJsonDocument>

FakeBluez::FakeBluez(Options options)
    : fake_(QStringLiteral("fake_bluez"), QStringLiteral("org.bluez"),
            QStringLiteral("org.olvane.test.FakeBluez"), arguments(options)) {}

QStringList FakeBluez::arguments(const Options& options) {
    QStringList args;
    if (!options.powered) args << "--unpowered";
    if (!options.adapter) args << "--no-adapter";
    if (options.deny) args << "--deny";
    return args;
}

QJsonObject FakeBluez::jsonCall(const QString& method) {
    const QDBusMessage reply = fake_.call(method);
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object();
}

void FakeBluez::setPowered(bool on) {
    fake_.call(QStringLiteral("SetPowered"), {on});
}

void FakeBluez::refuse(const QString& method, const QString& errorName, const QString& message) {
    fake_.call(QStringLiteral("Refuse"), {method, errorName, message});
}

void FakeBluez::releaseAdvertisement() {
    fake_.call(QStringLiteral("ReleaseAdvertisement"));
}

QJsonObject FakeBluez::application() {
    return jsonCall(QStringLiteral("Application"));
}

QJsonObject FakeBluez::advertisement() {
    return jsonCall(QStringLiteral("Advertisement"));
}

QJsonArray FakeBluez::calls() {
    const QDBusMessage reply = fake_.call(QStringLiteral("Calls"));
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
}

QByteArray FakeBluez::readCharacteristic(const QString& uuid, quint16 offset) {
    const QDBusMessage reply =
        fake_.call(QStringLiteral("ReadCharacteristic"), {uuid, QVariant::fromValue(offset)});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().value(0).toByteArray();
}
