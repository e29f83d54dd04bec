// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/bluez/BluezDBus.h"

#include <QDBusAbstractAdaptor>

#include <functional>

// The root of our GATT application: BlueZ reads the whole tree through GetManagedObjects.
class GATTObjectManagerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.ObjectManager")
public:
    GATTObjectManagerAdaptor(QObject* object, std::function<Bluez::ManagedObjects()> objects)
        : QDBusAbstractAdaptor(object), objects_(std::move(objects)) {}

public slots:
    Bluez::ManagedObjects GetManagedObjects() { return objects_(); }

private:
    std::function<Bluez::ManagedObjects()> objects_;
};
