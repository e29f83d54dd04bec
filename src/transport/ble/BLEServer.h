// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/BLEChannel.h"
#include "transport/ble/BLEPeripheral.h"

#include <QLatin1String>

#include <chrono>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

class AppState;
class Router;
class SerialQueue;

// Makes the computer a Bluetooth LE peripheral the phone can reach without a network: once
// the radio is on it publishes an L2CAP channel, serves the channel's PSM in a readable GATT
// characteristic, advertises the service with the computer's name, and turns every channel a
// phone opens into a BLEChannel. The peripheral's reports and the publish retries run on the
// "olvane.ble" queue.
class BLEServer {
public:
    static constexpr QLatin1String serviceUUID{"8E1D2F3A-71AD-4C0B-9E2A-1774ACADB0DE"};
    static constexpr QLatin1String psmCharUUID{"8E1D2F3A-71AD-4C0B-9E2A-1774ACADB0DF"};
    static constexpr int kMaxPublishRetries = 5;
    static constexpr std::chrono::milliseconds kRetryDelay{3000};

    struct Limits {
        int maxUnauthenticated = 32;
        BLEChannel::Limits channel;
    };
    // Runs a task on the server's queue after a delay.
    using Schedule = std::function<void(std::chrono::milliseconds, std::function<void()>)>;
    using PeripheralFactory = std::function<std::unique_ptr<BLEPeripheral>()>;

    BLEServer(AppState& state, Router& router, Limits limits, Schedule schedule = {});
    BLEServer(AppState& state, Router& router) : BLEServer(state, router, Limits{}) {}
    ~BLEServer();

    // Creates the peripheral on the server's queue; its state reports drive the rest.
    void start(const PeripheralFactory& makePeripheral);
    // At termination: unpublishes the channel and stops advertising. Not on the queue itself.
    void stop();

    SerialQueue& queue() const { return *queue_; }
    qsizetype channelCount() const;
    qsizetype unauthenticatedCount() const;
    // The GATT service that carries a PSM, as built after each successful publish.
    static GATTService gattService(quint16 psm);

private:
    // What the peripheral reports, on the queue.
    void stateUpdated(BLEState state);
    void channelPublished(quint16 psm, const std::optional<QString>& error);
    void serviceAdded(const std::optional<QString>& error);
    void advertisingStarted(const std::optional<QString>& error);
    void channelOpened(const std::shared_ptr<ChannelSocket>& channel,
                       const std::optional<QString>& error);
    void listenTo(BLEPeripheral& peripheral);

    void scheduleRetry();
    void openChannel(ChannelSocket socket);
    void closeOldestUnauthenticated();
    BLEChannel::Callbacks channelCallbacks(quint64 id);
    void removeChannel(quint64 id);

    AppState& state_;
    Router& router_;
    const Limits limits_;
    std::shared_ptr<SerialQueue> queue_;
    Schedule schedule_;
    // Tasks queued for later hold this weakly and do nothing once the server is gone.
    std::shared_ptr<int> life_;

    // On the queue.
    std::unique_ptr<BLEPeripheral> manager_;
    quint16 psm_ = 0;
    // Channels are known by a number of their own: an address may be reused once one is gone.
    std::vector<std::pair<quint64, std::shared_ptr<BLEChannel>>> channels_;
    std::unordered_set<quint64> unauthenticated_;
    quint64 lastChannelId_ = 0;
    int publishRetries_ = 0;
    // A retry belongs to the power-on that scheduled it; a later power-on makes it void.
    int powerOns_ = 0;
    bool crowded_ = false;
};
