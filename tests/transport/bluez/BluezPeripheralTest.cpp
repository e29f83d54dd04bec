// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterHarness.h"
#include "support/BLEPhone.h"
#include "support/DBusFake.h"
#include "support/LogCapture.h"
#include "transport/ble/BLEServer.h"
#include "transport/bluez/BluezPeripheral.h"

#include <QDBusArgument>

#include <sys/un.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {
const QString kService = QStringLiteral("8e1d2f3a-71ad-4c0b-9e2a-1774acadb0de");

// The agent over our fake bluetoothd. This kernel has no L2CAP, so the published channel is a
// listening Unix packet socket that the test's phones connect to, with PSM 0x0081.
struct BluezHarness : RouterHarness {
    DBusFake bluez{"fake_bluez", "org.bluez", "org.olvane.test.FakeBluez", {}};
    sockaddr_un address{AF_UNIX, {}};
    std::atomic<int> listens{0};
    std::atomic<bool> listenFails;
    LogCapture log;
    std::unique_ptr<BLEServer> server;
    // On the server's queue: publish retries left for the test to fire.
    std::vector<std::function<void()>> retries;

    explicit BluezHarness(BLEServer::Limits limits = {}, bool failListening = false)
        : listenFails(failListening) {
        std::strncpy(address.sun_path, dir.filePath("l2cap").toLocal8Bit().constData(),
                     sizeof address.sun_path - 1);
        server = std::make_unique<BLEServer>(*state, *router, limits,
                                             [this](auto, auto task) { retries.push_back(task); });
        server->start([this] {
            BluezPeripheral::Options options;
            options.busAddress = bluez.address();
            options.listen = [this] { return listen(); };
            return std::make_unique<BluezPeripheral>(options);
        });
    }

    L2CAPListener::Listening listen() {
        if (++listens, listenFails) return {{}, 0, QStringLiteral("no")};
        ::unlink(address.sun_path);
        UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::listen(fd.get(), 8);
        return {std::move(fd), 0x0081, {}};
    }
    // A phone opening the channel; none when nothing listens.
    std::optional<BLEPhone> connectPhone() {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        BLEPhone phone(fd);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return std::nullopt;
        return phone;
    }

    bool advertising(int times = 1) {
        return waitUntil([&] { return log.count("BLE advertising actif") >= times; });
    }
    // What a phone reads from the characteristic that carries the PSM.
    QByteArray readPsm(quint16 offset = 0) {
        const QString characteristic = QStringLiteral("8e1d2f3a-71ad-4c0b-9e2a-1774acadb0df");
        const QVariantList args{kService, characteristic, QVariant::fromValue(offset)};
        return bluez.call("ReadCharacteristic", args).arguments().value(0).toByteArray();
    }
    // The advertisement's properties; none when nothing is registered.
    QVariantMap advertised() {
        return qdbus_cast<QVariantMap>(bluez.call("Registered").arguments().value(1));
    }
    bool unregistered() {
        return waitUntil([&] {
            return !bluez.call("Registered").arguments().value(0).toBool() &&
                   advertised().isEmpty();
        });
    }
    qsizetype retriesPending() {
        qsizetype n = 0;
        server->queue().sync([&] { n = qsizetype(retries.size()); });
        return n;
    }
    void fireRetries() {
        server->queue().sync([&] {
            for (auto& retry : std::exchange(retries, {})) retry();
        });
    }
};
}  // namespace

TEST(BluezPeripheral, publishedAfterEachPowerOnWithThePsmLowByteFirstAndStopLeavesChannelsOpen) {
    BluezHarness h;
    ASSERT_TRUE(h.advertising());
    EXPECT_EQ(h.readPsm(), QByteArray::fromHex("8100"));
    EXPECT_EQ(h.readPsm(1), QByteArray::fromHex("00")) << "a long read goes on from its offset";
    EXPECT_EQ(h.advertised(), (QVariantMap{{"Type", "peripheral"},
                                           {"ServiceUUIDs", QStringList{kService}},
                                           {"LocalName", "Bureau"}}));
    // Power off drops what was registered, so that power on registers again without a clash.
    h.bluez.call("SetPowered", {false});
    ASSERT_TRUE(h.unregistered());
    EXPECT_FALSE(h.connectPhone()) << "nothing listens while the radio is off";
    h.bluez.call("SetPowered", {true});
    ASSERT_TRUE(h.advertising(2));
    std::optional<BLEPhone> phone = h.connectPhone();
    ASSERT_TRUE(phone);
    ASSERT_EQ(phone->request({{"t", "hello"}}).value("t"), "needpair");

    h.server->stop();
    EXPECT_TRUE(h.unregistered());
    EXPECT_FALSE(h.connectPhone());
    EXPECT_EQ(phone->request({{"t", "ping"}}).value("t"), "needpair");
}

// A retry left from before a power cycle publishes nothing.
TEST(BluezPeripheral, publishingIsRetriedFiveTimesPerPowerOnAndNeverAfterIt) {
    BluezHarness h({}, true);
    for (int retry = 1; retry <= 5; ++retry) {
        ASSERT_TRUE(waitUntil([&] { return h.retriesPending() == 1; }));
        h.fireRetries();
    }
    ASSERT_TRUE(waitUntil([&] { return h.log.count("BLE publish L2CAP failed: no") == 6; }));
    EXPECT_EQ(h.retriesPending(), 0);
    h.bluez.call("SetPowered", {false});
    h.bluez.call("SetPowered", {true});
    ASSERT_TRUE(waitUntil([&] { return h.retriesPending() == 1; })) << "a new budget";
    h.bluez.call("SetPowered", {false});
    h.listenFails = false;
    h.bluez.call("SetPowered", {true});
    ASSERT_TRUE(h.advertising());
    h.fireRetries();
    EXPECT_EQ(h.listens, 8);
}

TEST(BluezPeripheral, channelsAwaitingAuthenticationAreCappedByClosingTheOldest) {
    BLEServer::Limits limits;
    limits.maxUnauthenticated = 2;
    BluezHarness h(limits);
    ASSERT_TRUE(h.advertising());
    std::optional<BLEPhone> a = h.connectPhone(), b = h.connectPhone();
    EXPECT_EQ(b->request({{"t", "hello"}}).value("t"), "needpair");  // speaking keeps no slot
    std::optional<BLEPhone> newcomer = h.connectPhone();
    EXPECT_TRUE(a->waitClosed());
    EXPECT_EQ(newcomer->request({{"t", "pair"}, {"code", "4321"}}).value("t"), "paired");
    EXPECT_TRUE(waitUntil([&] { return h.server->channelCount() == 2; }));
    std::optional<BLEPhone> c = h.connectPhone();  // a paired phone leaves room: nobody goes
    EXPECT_EQ(c->request({{"t", "hello"}}).value("t"), "needpair");
    b->pump();
    EXPECT_FALSE(b->closed);
}
