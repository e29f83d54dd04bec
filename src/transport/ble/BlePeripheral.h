#pragma once

#include "transport/ble/ChannelSocket.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The radio's state, numbered as the phone platform's peripheral managers number it.
enum class BleState : int {
    Unknown = 0,
    Resetting = 1,  // the Bluetooth service went away; an update follows
    Unsupported = 2,
    Unauthorized = 3,
    PoweredOff = 4,
    PoweredOn = 5,
};

struct GattCharacteristic {
    static constexpr quint8 kPropertyRead = 0x02;
    static constexpr quint8 kPermissionReadable = 0x01;

    QString uuid;
    quint8 properties = kPropertyRead;
    quint8 permissions = kPermissionReadable;
    QByteArray value;  // fixed at creation: the stack answers reads itself
};

struct GattService {
    QString uuid;
    bool primary = true;
    QList<GattCharacteristic> characteristics;
};

struct AdvertisingData {
    QStringList serviceUuids;
    QString localName;
};

// What a peripheral reports. Every call arrives on the queue given with the delegate.
class BlePeripheralDelegate {
public:
    virtual ~BlePeripheralDelegate() = default;
    virtual void peripheralDidUpdateState(BleState state) = 0;
    // Exactly one answer per publishChannel(): the PSM, or the error's description.
    virtual void peripheralDidPublishChannel(quint16 psm, const std::optional<QString>& error) = 0;
    virtual void peripheralDidAddService(const std::optional<QString>& error) = 0;
    virtual void peripheralDidStartAdvertising(const std::optional<QString>& error) = 0;
    // A channel a phone opened, or why none could be taken.
    virtual void peripheralDidOpenChannel(std::optional<ChannelSocket> channel,
                                          const std::optional<QString>& error) = 0;
};

// A Bluetooth LE peripheral-role stack: publishes L2CAP channels, serves a GATT service with
// static values and advertises. Used only on the queue its delegate runs on; a stack reports
// its state on its own after setDelegate().
class BlePeripheral {
public:
    virtual ~BlePeripheral() = default;
    virtual void setDelegate(BlePeripheralDelegate* delegate) = 0;
    virtual BleState state() const = 0;
    // Without encryption; answered by peripheralDidPublishChannel.
    virtual void publishChannel() = 0;
    virtual void unpublishChannel(quint16 psm) = 0;
    virtual void addService(const GattService& service) = 0;
    virtual void startAdvertising(const AdvertisingData& data) = 0;
    virtual void stopAdvertising() = 0;
};
