// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/BLEPeripheral.h"

#include <QDBusAbstractAdaptor>
#include <QStringList>

#include <functional>

// Our advertisement as BlueZ reads it: connectable, the service UUIDs and the local name.
class LEAdvertisementAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.LEAdvertisement1")
    Q_PROPERTY(QString Type READ type)
    Q_PROPERTY(QStringList ServiceUUIDs READ serviceUUIDs)
    Q_PROPERTY(QString LocalName READ localName)
public:
    LEAdvertisementAdaptor(QObject* object, const AdvertisingData& data,
                           std::function<void()> onRelease);

    QString type() const { return QStringLiteral("peripheral"); }
    QStringList serviceUUIDs() const { return serviceUuids_; }
    QString localName() const { return localName_; }

public slots:
    // BlueZ dropped the advertisement on its own.
    Q_NOREPLY void Release();

private:
    QStringList serviceUuids_;
    const QString localName_;
    std::function<void()> onRelease_;
};
