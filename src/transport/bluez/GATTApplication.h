// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/BLEPeripheral.h"
#include "transport/bluez/BluezDBus.h"

#include <QDBusConnection>
#include <QObject>

#include <memory>
#include <vector>

class GATTCharacteristicAdaptor;
class GATTServiceAdaptor;

// Our GATT service as BlueZ wants it: an object tree under one root that answers
// GetManagedObjects, exported on our connection while this exists. The objects belong to the
// thread that creates it, which is where BlueZ's calls are answered.
class GATTApplication {
public:
    static constexpr QLatin1String kRootPath{"/org/olvane/ble"};

    GATTApplication(const QDBusConnection& connection, const GATTService& service);
    ~GATTApplication();

    // Exports the tree; on failure returns why and exports nothing.
    std::optional<QString> exportObjects();
    Bluez::ManagedObjects managedObjects() const;

private:
    struct Node {
        QString path;
        std::unique_ptr<QObject> object;
    };
    void unexport();

    QDBusConnection connection_;
    std::vector<Node> nodes_;  // the root first
    GATTServiceAdaptor* service_ = nullptr;
    std::vector<GATTCharacteristicAdaptor*> characteristics_;
    QStringList exported_;
};
