// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/BLEPeripheral.h"
#include "transport/bluez/L2CAPListener.h"

#include <QDBusConnection>
#include <QDBusError>

#include <functional>
#include <memory>

class BluezAdapterWatch;
class GATTApplication;
class LEAdvertisement;

// The peripheral role through BlueZ: the adapter's presence and Powered property are the
// radio's state, a listening L2CAP LE socket is the published channel, our GATT application
// is registered with GattManager1 and our advertisement with LEAdvertisingManager1. Lives on
// the thread that creates it, which is where it reports; D-Bus calls to our objects are
// answered there too.
class BluezPeripheral : public BLEPeripheral {
    Q_OBJECT
public:
    struct Options {
        QString busAddress;  // empty: the system bus
        L2CAPListener::Source listen = &L2CAPListener::listenLe;
    };

    explicit BluezPeripheral(Options options);
    ~BluezPeripheral() override;

    // Whether BlueZ is on the system bus, or can be started there.
    static bool bluezAnswers();

    void start() override;
    BLEState state() const override;
    void publishChannel() override;
    void unpublishChannel(quint16 psm) override;
    void addService(const GATTService& service) override;
    void startAdvertising(const AdvertisingData& data) override;
    void stopAdvertising() override;

private:
    using Done = std::function<void(const std::optional<QString>& error)>;

    void stateChanged(BLEState state);
    // The radio went off or BlueZ went away: what was published is gone with it.
    void dropPublication();
    void unregisterApplication();
    void unregisterAdvertisement();
    void onAdvertisementReleased();
    // Reports later, unless the radio went off in between or reporting stopped.
    void answer(std::function<void()> report);
    void callAdapter(const char* interface, const QString& method, const QString& path, Done done);

    const QString connectionName_;
    QDBusConnection connection_;
    const L2CAPListener::Source listen_;
    bool reporting_ = false;
    BluezAdapterWatch* adapter_;
    std::unique_ptr<L2CAPListener> listener_;
    std::unique_ptr<GATTApplication> application_;
    QString applicationAdapter_;  // where the application is registered, empty when not
    std::unique_ptr<LEAdvertisement> advertisement_;
    QString advertisementAdapter_;
    // Raised whenever the publication is dropped; answers from before are stale.
    quint64 epoch_ = 0;
};
