#pragma once

#include "support/DBusFake.h"

#include <QJsonArray>
#include <QJsonObject>

// A private bus with our stand-in for bluetoothd on it (olvane_e2e.fake_bluez in tests/e2e),
// which speaks BlueZ's D-Bus API and lets the test steer it and read back what it saw.
class FakeBluez {
public:
    struct Options {
        bool powered = true;
        bool adapter = true;
        bool deny = false;  // refuses to tell us anything, as a bus policy would
    };

    explicit FakeBluez(Options options);
    FakeBluez() : FakeBluez(Options{}) {}

    bool running() const { return fake_.running(); }
    QString address() const { return fake_.address(); }

    void setPowered(bool on);
    // The next call of method fails with this D-Bus error.
    void refuse(const QString& method, const QString& errorName, const QString& message);
    void releaseAdvertisement();
    // What was registered, as read back from us; empty when nothing is.
    QJsonObject application();
    QJsonObject advertisement();
    // The adapter calls made so far: [method, object path] pairs.
    QJsonArray calls();
    QByteArray readCharacteristic(const QString& uuid, quint16 offset = 0);
    // bluetoothd goes away, the bus stays.
    void quitBluez() { fake_.quit(); }

private:
    static QStringList arguments(const Options& options);
    QJsonObject jsonCall(const QString& method);

    DBusFake fake_;
};
