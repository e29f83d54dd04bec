// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/mpris/MPRISBus.h"

#include "base/Log.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

MPRISBus::MPRISBus(QDBusConnection bus) : bus_(std::move(bus)) {}

QStringList MPRISBus::names() {
    if (!bus_.isConnected()) {
        if (!reportedNoBus_)
            logWarning(QStringLiteral("Media: no session bus (%1); media keys are pressed instead")
                           .arg(bus_.lastError().message()));
        reportedNoBus_ = true;
        return {};
    }
    const QDBusMessage list = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    const QDBusMessage reply = bus_.call(list, QDBus::Block, kListTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        logWarning(QStringLiteral("Media: cannot list players: %1").arg(reply.errorMessage()));
        return {};
    }
    return reply.arguments().value(0).toStringList();
}

void MPRISBus::call(const QString& busName, const PlayerCall& call) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        busName, QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.mpris.MediaPlayer2.Player"), call.name());
    if (call.method == PlayerCall::Method::Seek) message << call.seekMicroseconds;
    QDBusConnection bus = bus_;
    auto send = [bus, message]() mutable {
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message));
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, [](QDBusPendingCallWatcher* w) {
                if (w->isError())
                    logWarning(QStringLiteral("Media MPRIS error: %1").arg(w->error().message()));
                w->deleteLater();
            });
    };
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(send), Qt::QueuedConnection);
    else
        send();
}
