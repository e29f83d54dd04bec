// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusError>
#include <QDBusObjectPath>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// The names and types of BlueZ's D-Bus API that we use.
namespace Bluez {
inline constexpr char kService[] = "org.bluez";
inline constexpr char kAdapter[] = "org.bluez.Adapter1";
inline constexpr char kGATTManager[] = "org.bluez.GattManager1";
inline constexpr char kAdvertisingManager[] = "org.bluez.LEAdvertisingManager1";
inline constexpr char kGATTService[] = "org.bluez.GattService1";
inline constexpr char kGATTCharacteristic[] = "org.bluez.GattCharacteristic1";
inline constexpr char kAdvertisement[] = "org.bluez.LEAdvertisement1";
inline constexpr char kObjectManager[] = "org.freedesktop.DBus.ObjectManager";
inline constexpr char kProperties[] = "org.freedesktop.DBus.Properties";

// a{sa{sv}}: an object's interfaces with their properties.
using Interfaces = QMap<QString, QVariantMap>;
// a{oa{sa{sv}}}: what ObjectManager.GetManagedObjects returns.
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

// Once per process, before any of these types crosses the bus.
void registerTypes();

// "message (org.bluez.Error.Name)", or the name alone when there is no message.
QString describe(const QDBusError& error);
}  // namespace Bluez

Q_DECLARE_METATYPE(Bluez::Interfaces)
Q_DECLARE_METATYPE(Bluez::ManagedObjects)
