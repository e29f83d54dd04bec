// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/GATTApplication.h"

#include "transport/bluez/GATTCharacteristicAdaptor.h"
#include "transport/bluez/GATTObjectManagerAdaptor.h"
#include "transport/bluez/GATTServiceAdaptor.h"

GATTApplication::GATTApplication(const QDBusConnection& connection, const GATTService& service)
    : connection_(connection) {
    Bluez::registerTypes();
    auto root = std::make_unique<QObject>();
    new GATTObjectManagerAdaptor(root.get(), [this] { return managedObjects(); });
    nodes_.push_back({kRootPath, std::move(root)});

    const QString servicePath = QString(kRootPath) + QLatin1String("/service0");
    auto serviceObject = std::make_unique<QObject>();
    service_ = new GATTServiceAdaptor(serviceObject.get(), service.uuid, service.primary);
    nodes_.push_back({servicePath, std::move(serviceObject)});

    for (qsizetype i = 0; i < service.characteristics.size(); ++i) {
        auto object = std::make_unique<QObject>();
        characteristics_.push_back(new GATTCharacteristicAdaptor(
            object.get(), service.characteristics[i], QDBusObjectPath(servicePath)));
        nodes_.push_back({servicePath + QStringLiteral("/char%1").arg(i), std::move(object)});
    }
}

GATTApplication::~GATTApplication() {
    unexport();
}

std::optional<QString> GATTApplication::exportObjects() {
    for (const Node& node : nodes_) {
        if (!connection_.registerObject(node.path, node.object.get(),
                                        QDBusConnection::ExportAdaptors)) {
            unexport();
            return QStringLiteral("cannot export %1 on the bus").arg(node.path);
        }
        exported_.append(node.path);
    }
    return std::nullopt;
}

void GATTApplication::unexport() {
    for (const QString& path : std::as_const(exported_)) connection_.unregisterObject(path);
    exported_.clear();
}

Bluez::ManagedObjects GATTApplication::managedObjects() const {
    Bluez::ManagedObjects objects;
    objects.insert(QDBusObjectPath(nodes_[1].path),
                   {{QLatin1String(Bluez::kGATTService), service_->properties()}});
    for (size_t i = 0; i < characteristics_.size(); ++i)
        objects.insert(
            QDBusObjectPath(nodes_[i + 2].path),
            {{QLatin1String(Bluez::kGATTCharacteristic), characteristics_[i]->properties()}});
    return objects;
}
