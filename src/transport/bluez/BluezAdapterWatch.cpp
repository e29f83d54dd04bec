// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/BluezAdapterWatch.h"

#include "base/Log.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
bool isRefusal(const QDBusError& error) {
    return error.type() == QDBusError::AccessDenied ||
           error.name() == QLatin1String("org.bluez.Error.NotPermitted");
}
}  // namespace

BluezAdapterWatch::BluezAdapterWatch(const QDBusConnection& connection, OnState onState,
                                     QObject* parent)
    : QObject(parent),
      connection_(connection),
      onState_(std::move(onState)),
      watcher_(
          QLatin1String(Bluez::kService), connection,
          QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration) {
    Bluez::registerTypes();
}

void BluezAdapterWatch::start() {
    const QString service = QLatin1String(Bluez::kService);
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { refresh(); });
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        ++refreshes_;
        adapter_.clear();
        interfaces_.clear();
        setState(BLEState::Resetting);
    });
    connection_.connect(service, QString(), QLatin1String(Bluez::kProperties),
                        QStringLiteral("PropertiesChanged"), this,
                        SLOT(onPropertiesChanged(QDBusMessage)));
    connection_.connect(service, QStringLiteral("/"), QLatin1String(Bluez::kObjectManager),
                        QStringLiteral("InterfacesAdded"), this,
                        SLOT(onInterfacesChanged(QDBusMessage)));
    connection_.connect(service, QStringLiteral("/"), QLatin1String(Bluez::kObjectManager),
                        QStringLiteral("InterfacesRemoved"), this,
                        SLOT(onInterfacesChanged(QDBusMessage)));
    refresh();
}

bool BluezAdapterWatch::adapterHas(const char* interface) const {
    return interfaces_.contains(QLatin1String(interface));
}

void BluezAdapterWatch::refresh() {
    const quint64 refresh = ++refreshes_;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(Bluez::kService), QStringLiteral("/"), QLatin1String(Bluez::kObjectManager),
        QStringLiteral("GetManagedObjects"));
    auto* pending = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, refresh] {
        pending->deleteLater();
        if (refresh != refreshes_) return;
        const QDBusPendingReply<Bluez::ManagedObjects> reply = *pending;
        if (reply.isError())
            failed(reply.error());
        else
            adopt(reply.value());
    });
}

void BluezAdapterWatch::adopt(const Bluez::ManagedObjects& objects) {
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        const auto adapter = it->find(QLatin1String(Bluez::kAdapter));
        if (adapter == it->end()) continue;
        adapter_ = it.key().path();
        interfaces_ = it->keys();
        const bool powered = adapter->value(QStringLiteral("Powered")).toBool();
        setState(powered ? BLEState::PoweredOn : BLEState::PoweredOff);
        return;
    }
    adapter_.clear();
    interfaces_.clear();
    setState(BLEState::Unsupported);
}

void BluezAdapterWatch::failed(const QDBusError& error) {
    adapter_.clear();
    interfaces_.clear();
    if (isRefusal(error)) {
        setState(BLEState::Unauthorized);
        return;
    }
    if (error.type() == QDBusError::ServiceUnknown) {
        setState(BLEState::Resetting);  // until BlueZ comes onto the bus
        return;
    }
    logWarning(QStringLiteral("BLE: BlueZ does not answer: %1").arg(Bluez::describe(error)));
    setState(BLEState::Unknown);
}

void BluezAdapterWatch::onPropertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (message.path() != adapter_ || args.size() < 2) return;
    if (args[0].toString() != QLatin1String(Bluez::kAdapter)) return;
    const QVariantMap changed = qdbus_cast<QVariantMap>(args[1]);
    const auto powered = changed.find(QStringLiteral("Powered"));
    if (powered == changed.end()) return;
    setState(powered->toBool() ? BLEState::PoweredOn : BLEState::PoweredOff);
}

// Adapters come and go, and an adapter gains its managers after it appears: ask again.
void BluezAdapterWatch::onInterfacesChanged(const QDBusMessage&) {
    refresh();
}

void BluezAdapterWatch::setState(BLEState state) {
    if (state_ == state) return;
    state_ = state;
    onState_(state);
}
