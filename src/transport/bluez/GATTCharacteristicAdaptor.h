// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/BLEPeripheral.h"
#include "transport/bluez/BluezDBus.h"

#include <QDBusAbstractAdaptor>
#include <QStringList>

// One characteristic of our GATT application, with a value fixed at creation that BlueZ
// reads through ReadValue whenever a phone reads it.
class GATTCharacteristicAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.GattCharacteristic1")
    Q_PROPERTY(QString UUID READ uuid)
    Q_PROPERTY(QDBusObjectPath Service READ service)
    Q_PROPERTY(QStringList Flags READ flags)
    Q_PROPERTY(QByteArray Value READ value)
public:
    GATTCharacteristicAdaptor(QObject* object, const GATTCharacteristic& characteristic,
                              const QDBusObjectPath& service);

    // BlueZ's flag names for the properties and permissions a characteristic has.
    static QStringList flagsFor(quint8 properties, quint8 permissions);

    QString uuid() const { return uuid_; }
    QDBusObjectPath service() const { return service_; }
    QStringList flags() const { return flags_; }
    QByteArray value() const { return value_; }
    QVariantMap properties() const;

public slots:
    // Long reads come in pieces from an offset; past the end there is nothing left.
    QByteArray ReadValue(const QVariantMap& options);

private:
    const QString uuid_;
    const QDBusObjectPath service_;
    const QStringList flags_;
    const QByteArray value_;
};
