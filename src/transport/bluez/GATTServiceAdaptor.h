// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/bluez/BluezDBus.h"

#include <QDBusAbstractAdaptor>

// One service of our GATT application.
class GATTServiceAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.GattService1")
    Q_PROPERTY(QString UUID READ uuid)
    Q_PROPERTY(bool Primary READ primary)
public:
    GATTServiceAdaptor(QObject* object, const QString& uuid, bool primary)
        : QDBusAbstractAdaptor(object), uuid_(uuid.toLower()), primary_(primary) {}

    QString uuid() const { return uuid_; }
    bool primary() const { return primary_; }
    QVariantMap properties() const {
        return {{QStringLiteral("UUID"), uuid_}, {QStringLiteral("Primary"), primary_}};
    }

private:
    const QString uuid_;
    const bool primary_;
};
