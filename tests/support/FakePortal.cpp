#include "support/FakePortal.h"

#include <QJsonDocument>

FakePortal::FakePortal(Options options)
    : fake_(QStringLiteral("fake_portal"), QStringLiteral("org.freedesktop.portal.Desktop"),
            QStringLiteral("org.olvane.test.FakePortal"),
            options.refuse ? QStringList{"--refuse"} : QStringList{}) {
    static int connections = 0;
    connectionName_ = QStringLiteral("portal-client-%1").arg(++connections);
    if (fake_.running()) QDBusConnection::connectToBus(fake_.address(), connectionName_);
}

FakePortal::~FakePortal() {
    QDBusConnection::disconnectFromBus(connectionName_);
}

QDBusConnection FakePortal::bus() const {
    return QDBusConnection(connectionName_);
}

QJsonArray FakePortal::calls() {
    const QDBusMessage reply = fake_.call(QStringLiteral("Calls"));
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
}

QList<QJsonArray> FakePortal::callsOf(const QString& method) {
    QList<QJsonArray> found;
    for (const QJsonValue& call : calls()) {
        QJsonArray args = call.toArray();
        if (args.first().toString() != method) continue;
        args.removeFirst();
        found.append(args);
    }
    return found;
}

void FakePortal::setStartResponse(uint response) {
    fake_.call(QStringLiteral("SetStartResponse"), {response});
}

void FakePortal::closeSessions() {
    fake_.call(QStringLiteral("CloseSessions"));
}
