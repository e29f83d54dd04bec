// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/ChannelSocket.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The radio's state, numbered as the phone platform's peripheral managers number it.
enum class BLEState : int {
    Unknown = 0,
    Resetting = 1,  // the Bluetooth service went away; an update follows
    Unsupported = 2,
    Unauthorized = 3,
    PoweredOff = 4,
    PoweredOn = 5,
};

struct GATTCharacteristic {
    static constexpr quint8 kPropertyRead = 0x02;
    static constexpr quint8 kPermissionReadable = 0x01;

    QString uuid;
    quint8 properties = kPropertyRead;
    quint8 permissions = kPermissionReadable;
    QByteArray value;  // fixed at creation: the stack answers reads itself
};

struct GATTService {
    QString uuid;
    bool primary = true;
    QList<GATTCharacteristic> characteristics;
};

struct AdvertisingData {
    QStringList serviceUUIDs;
    QString localName;
};

// A Bluetooth LE peripheral-role stack: publishes L2CAP channels, serves a GATT service with
// static values and advertises. Used only on the thread that created it, where its signals
// are emitted; it reports its state on its own once started.
class BLEPeripheral : public QObject {
    Q_OBJECT
public:
    ~BLEPeripheral() override = default;
    // Begins reporting: stateUpdated() follows, now or later.
    virtual void start() = 0;
    virtual BLEState state() const = 0;
    // Without encryption; answered by channelPublished().
    virtual void publishChannel() = 0;
    virtual void unpublishChannel(quint16 psm) = 0;
    // Answered by serviceAdded().
    virtual void addService(const GATTService& service) = 0;
    // Answered by advertisingStarted().
    virtual void startAdvertising(const AdvertisingData& data) = 0;
    virtual void stopAdvertising() = 0;

signals:
    void stateUpdated(BLEState state);
    // Exactly one answer per publishChannel(): the PSM, or the error's description.
    void channelPublished(quint16 psm, const std::optional<QString>& error);
    void serviceAdded(const std::optional<QString>& error);
    void advertisingStarted(const std::optional<QString>& error);
    // A channel a phone opened (null when none came), or why none could be taken.
    void channelOpened(const std::shared_ptr<ChannelSocket>& channel,
                       const std::optional<QString>& error);
};
