#include "FakeBluez.h"
#include "router/RouterHarness.h"
#include "support/BLEPhone.h"
#include "support/LogCapture.h"
#include "transport/ble/BLEServer.h"
#include "transport/bluez/BluezPeripheral.h"
#include "transport/bluez/L2CAPAddress.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {
const QString kService = QStringLiteral("8e1d2f3a-71ad-4c0b-9e2a-1774acadb0de");
const QString kCharacteristic = QStringLiteral("8e1d2f3a-71ad-4c0b-9e2a-1774acadb0df");

sockaddr_un unixAddress(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
    return address;
}

// The agent over the fake BlueZ. The kernel here has no L2CAP, so the published channel is a
// listening Unix packet socket that the test's phones connect to, with PSM 0x0081.
struct BluezHarness : RouterHarness {
    FakeBluez bluez;
    QTemporaryDir sockets;
    const QString socketPath = sockets.filePath("l2cap");
    std::atomic<int> listens{0};
    LogCapture log;
    std::unique_ptr<BLEServer> server;

    explicit BluezHarness(FakeBluez::Options options = {}) : bluez(options) {
        server = std::make_unique<BLEServer>(*state, *router);
        server->start([this] {
            BluezPeripheral::Options peripheral;
            peripheral.busAddress = bluez.address();
            peripheral.listen = [this] { return listenUnix(); };
            return std::make_unique<BluezPeripheral>(peripheral);
        });
    }
    ~BluezHarness() { server.reset(); }

    L2CAPListener::Listening listenUnix() {
        ++listens;
        ::unlink(socketPath.toLocal8Bit().constData());
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_un address = unixAddress(socketPath);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 8) != 0)
            return {-1, 0, QStringLiteral("test socket: %1").arg(qt_error_string())};
        return {fd, 0x0081, {}};
    }

    // A phone opening the channel; none when nothing listens.
    std::optional<BLEPhone> connectPhone() {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_un address = unixAddress(socketPath);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return std::nullopt;
        }
        return BLEPhone(fd);
    }

    bool logged(const QString& line, int times = 1) {
        return waitUntil([&] { return log.count(line) >= times; });
    }
    bool advertising(int times = 1) { return logged("BLE advertising actif", times); }
    bool called(const QString& method, int times = 1) {
        return waitUntil([&] { return calls(method) >= times; });
    }
    int calls(const QString& method) {
        int n = 0;
        for (const QJsonValue& c : bluez.calls()) n += c.toArray().at(0) == method;
        return n;
    }
};

QJsonObject interfaceOf(const QJsonObject& objects, const QString& interface, QString* path) {
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        const QJsonObject ifaces = it.value().toObject();
        if (ifaces.contains(interface)) {
            if (path) *path = it.key();
            return ifaces.value(interface).toObject();
        }
    }
    return {};
}
}  // namespace

TEST(BluezPeripheral, bluezReadsBackOurServiceCharacteristicAndAdvertisement) {
    BluezHarness h;
    ASSERT_TRUE(h.bluez.running());
    ASSERT_TRUE(h.advertising());
    EXPECT_EQ(h.log.lines().filter(QRegularExpression("^BLE")),
              (QStringList{"BLE powered on, publishing L2CAP channel", "BLE L2CAP PSM: 129",
                           "BLE advertising as Bureau", "BLE advertising actif"}));

    const QJsonObject app = h.bluez.application();
    EXPECT_EQ(app.value("path"), "/org/olvane/ble");
    const QJsonObject objects = app.value("objects").toObject();
    EXPECT_EQ(objects.size(), 2);
    QString servicePath, characteristicPath;
    const QJsonObject service = interfaceOf(objects, "org.bluez.GattService1", &servicePath);
    EXPECT_EQ(service.value("UUID"), kService);
    EXPECT_EQ(service.value("Primary"), true);
    const QJsonObject characteristic =
        interfaceOf(objects, "org.bluez.GattCharacteristic1", &characteristicPath);
    EXPECT_EQ(characteristic.value("UUID"), kCharacteristic);
    EXPECT_EQ(characteristic.value("Service"), servicePath);
    EXPECT_EQ(characteristic.value("Flags"), QJsonArray{"read"});
    EXPECT_EQ(characteristic.value("Value"), (QJsonArray{0x81, 0x00}));

    // What a phone reads, low byte first; a long read's second piece starts at its offset.
    EXPECT_EQ(h.bluez.readCharacteristic(kCharacteristic), QByteArray::fromHex("8100"));
    EXPECT_EQ(h.bluez.readCharacteristic(kCharacteristic, 1), QByteArray::fromHex("00"));

    const QJsonObject ad = h.bluez.advertisement().value("properties").toObject();
    EXPECT_EQ(ad, (QJsonObject{{"Type", "peripheral"},
                               {"ServiceUUIDs", QJsonArray{kService}},
                               {"LocalName", "Bureau"}}));
}

TEST(BluezPeripheral, aPowerCycleDropsThePublicationAndStartsAfresh) {
    BluezHarness h;
    ASSERT_TRUE(h.advertising());
    h.bluez.setPowered(false);
    ASSERT_TRUE(h.called("UnregisterAdvertisement"));
    ASSERT_TRUE(h.called("UnregisterApplication"));
    EXPECT_TRUE(h.bluez.application().isEmpty());
    EXPECT_FALSE(h.connectPhone()) << "nothing listens while the radio is off";

    h.bluez.setPowered(true);
    ASSERT_TRUE(h.advertising(2));
    EXPECT_EQ(h.log.count("BLE powered on, publishing L2CAP channel"), 2);
    EXPECT_EQ(h.listens, 2);
    EXPECT_EQ(h.bluez.readCharacteristic(kCharacteristic), QByteArray::fromHex("8100"));
    EXPECT_TRUE(h.connectPhone());
}

TEST(BluezPeripheral, refusedRegistrationsAreReportedAndGoNoFurther) {
    BluezHarness h(FakeBluez::Options{false, true, false});
    h.bluez.refuse("RegisterApplication", "org.bluez.Error.Failed", "No more room");
    h.bluez.setPowered(true);
    ASSERT_TRUE(h.logged("BLE add service failed: No more room (org.bluez.Error.Failed)"));
    EXPECT_TRUE(h.bluez.application().isEmpty());
    EXPECT_EQ(h.calls("RegisterAdvertisement"), 0);

    h.bluez.setPowered(false);
    h.bluez.refuse("RegisterAdvertisement", "org.bluez.Error.NotPermitted",
                   "Maximum advertisements reached");
    h.bluez.setPowered(true);
    ASSERT_TRUE(h.logged(
        "BLE advertising failed: Maximum advertisements reached (org.bluez.Error.NotPermitted)"));
    EXPECT_FALSE(h.bluez.application().isEmpty());
    EXPECT_TRUE(h.bluez.advertisement().isEmpty());
    EXPECT_EQ(h.log.count("BLE advertising actif"), 0);
}

TEST(BluezPeripheral, stopUnregistersEverythingButLeavesOpenChannelsOpen) {
    BluezHarness h;
    ASSERT_TRUE(h.advertising());
    std::optional<BLEPhone> phone = h.connectPhone();
    ASSERT_TRUE(phone);
    ASSERT_EQ(phone->request({{"t", "hello"}}).value("t"), "needpair");

    h.server->stop();
    ASSERT_TRUE(h.called("UnregisterAdvertisement"));
    ASSERT_TRUE(h.called("UnregisterApplication"));
    EXPECT_TRUE(h.bluez.application().isEmpty());
    EXPECT_TRUE(h.bluez.advertisement().isEmpty());
    EXPECT_FALSE(h.connectPhone());
    EXPECT_EQ(phone->request({{"t", "ping"}}).value("t"), "needpair");
}

TEST(BluezPeripheral, anAdvertisementBluezReleasedIsNotUnregistered) {
    BluezHarness h;
    ASSERT_TRUE(h.advertising());
    h.bluez.releaseAdvertisement();
    ASSERT_TRUE(h.logged("BLE advertisement released by BlueZ"));
    h.server->stop();
    ASSERT_TRUE(h.called("UnregisterApplication"));
    EXPECT_EQ(h.calls("UnregisterAdvertisement"), 0);
}

TEST(BluezPeripheral, theAdapterAndBluezItselfMakeTheRadioState) {
    {
        BluezHarness refused(FakeBluez::Options{true, true, true});
        EXPECT_TRUE(refused.logged("BLE unauthorized (autorisation Bluetooth refusée)"));
    }
    BluezHarness h(FakeBluez::Options{true, false, false});
    ASSERT_TRUE(h.logged("BLE state: 2"));
    h.bluez.quitBluez();
    ASSERT_TRUE(h.logged("BLE state: 1"));
    EXPECT_EQ(h.listens, 0);
}
