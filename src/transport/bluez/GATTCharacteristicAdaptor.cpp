// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/GATTCharacteristicAdaptor.h"

GATTCharacteristicAdaptor::GATTCharacteristicAdaptor(QObject* object,
                                                     const GATTCharacteristic& characteristic,
                                                     const QDBusObjectPath& service)
    : QDBusAbstractAdaptor(object),
      uuid_(characteristic.uuid.toLower()),
      service_(service),
      flags_(flagsFor(characteristic.properties, characteristic.permissions)),
      value_(characteristic.value) {}

QStringList GATTCharacteristicAdaptor::flagsFor(quint8 properties, quint8 permissions) {
    static const std::pair<quint8, const char*> kProperties[] = {
        {0x01, "broadcast"},
        {0x02, "read"},
        {0x04, "write-without-response"},
        {0x08, "write"},
        {0x10, "notify"},
        {0x20, "indicate"},
        {0x40, "authenticated-signed-writes"},
    };
    // Beyond plain readable and writeable, permissions ask for encryption.
    static const std::pair<quint8, const char*> kPermissions[] = {
        {0x04, "encrypt-read"},
        {0x08, "encrypt-write"},
    };
    QStringList flags;
    for (const auto& [bit, name] : kProperties)
        if (properties & bit) flags.append(QLatin1String(name));
    for (const auto& [bit, name] : kPermissions)
        if (permissions & bit) flags.append(QLatin1String(name));
    return flags;
}

QVariantMap GATTCharacteristicAdaptor::properties() const {
    return {
        {QStringLiteral("UUID"), uuid_},
        {QStringLiteral("Service"), QVariant::fromValue(service_)},
        {QStringLiteral("Flags"), flags_},
        {QStringLiteral("Value"), value_},
    };
}

QByteArray GATTCharacteristicAdaptor::ReadValue(const QVariantMap& options) {
    const qsizetype offset = options.value(QStringLiteral("offset")).toUInt();
    return value_.mid(offset);
}
