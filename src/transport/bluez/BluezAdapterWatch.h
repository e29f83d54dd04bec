// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/BLEPeripheral.h"
#include "transport/bluez/BluezDBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

// Follows BlueZ on the bus: the adapter we use (the first one) and its Powered property,
// reported as the radio's state whenever that changes. No adapter is "unsupported", a
// refusal to answer us "unauthorized", BlueZ missing from the bus "resetting".
class BluezAdapterWatch : public QObject {
    Q_OBJECT
public:
    using OnState = std::function<void(BLEState)>;

    BluezAdapterWatch(const QDBusConnection& connection, OnState onState,
                      QObject* parent = nullptr);

    // Subscribes, then asks BlueZ for its objects; the first state follows.
    void start();
    BLEState state() const { return state_.value_or(BLEState::Unknown); }
    // The adapter's object path, empty when there is none.
    QString adapterPath() const { return adapter_; }
    bool adapterHas(const char* interface) const;

private slots:
    void onPropertiesChanged(const QDBusMessage& message);
    void onInterfacesChanged(const QDBusMessage& message);

private:
    void refresh();
    void adopt(const Bluez::ManagedObjects& objects);
    void failed(const QDBusError& error);
    void setState(BLEState state);

    QDBusConnection connection_;
    OnState onState_;
    QDBusServiceWatcher watcher_;
    QString adapter_;
    QStringList interfaces_;
    std::optional<BLEState> state_;
    // Only the answer to the latest question counts.
    quint64 refreshes_ = 0;
};
