// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/ble/BLEServer.h"

#include "base/Log.h"
#include "base/MainThread.h"
#include "base/SerialQueue.h"
#include "state/AppState.h"

#include <algorithm>
#include <thread>

namespace {
// Lets the stack's last requests leave before the process goes on to exit.
constexpr std::chrono::milliseconds kStopGrace{150};

std::function<void()> whileAlive(const std::shared_ptr<int>& life, std::function<void()> task) {
    return [life = std::weak_ptr<int>(life), task = std::move(task)] {
        if (!life.expired()) task();
    };
}
}  // namespace

BLEServer::BLEServer(AppState& state, Router& router, Limits limits, Schedule schedule)
    : state_(state),
      router_(router),
      limits_(limits),
      queue_(std::make_shared<SerialQueue>(QStringLiteral("olvane.ble"))),
      schedule_(std::move(schedule)),
      life_(std::make_shared<int>(0)) {
    if (!schedule_) {
        schedule_ = [queue = std::weak_ptr<SerialQueue>(queue_)](std::chrono::milliseconds delay,
                                                                 std::function<void()> task) {
            if (const auto q = queue.lock()) q->after(delay, std::move(task));
        };
    }
}

BLEServer::~BLEServer() {
    std::vector<std::pair<quint64, std::shared_ptr<BLEChannel>>> channels;
    queue_->sync([&] {
        life_.reset();
        // The stack's objects live on the queue's thread and go there.
        manager_.reset();
        channels.swap(channels_);
    });
    queue_.reset();
}

void BLEServer::start(const PeripheralFactory& makePeripheral) {
    queue_->sync([&] {
        manager_ = makePeripheral();
        if (!manager_) return;
        listenTo(*manager_);
        manager_->start();
    });
}

void BLEServer::stop() {
    queue_->sync([this] {
        if (psm_ != 0) {
            if (manager_) manager_->unpublishChannel(psm_);
            psm_ = 0;
        }
        if (manager_) manager_->stopAdvertising();
    });
    std::this_thread::sleep_for(kStopGrace);
}

qsizetype BLEServer::channelCount() const {
    qsizetype count = 0;
    queue_->sync([&] { count = qsizetype(channels_.size()); });
    return count;
}

qsizetype BLEServer::unauthenticatedCount() const {
    qsizetype count = 0;
    queue_->sync([&] { count = qsizetype(unauthenticated_.size()); });
    return count;
}

// The peripheral lives on the queue and reports there: its signals reach us directly.
void BLEServer::listenTo(BLEPeripheral& peripheral) {
    QObject::connect(&peripheral, &BLEPeripheral::stateUpdated,
                     [this](BLEState state) { stateUpdated(state); });
    QObject::connect(
        &peripheral, &BLEPeripheral::channelPublished,
        [this](quint16 psm, const std::optional<QString>& error) { channelPublished(psm, error); });
    QObject::connect(&peripheral, &BLEPeripheral::serviceAdded,
                     [this](const std::optional<QString>& error) { serviceAdded(error); });
    QObject::connect(&peripheral, &BLEPeripheral::advertisingStarted,
                     [this](const std::optional<QString>& error) { advertisingStarted(error); });
    QObject::connect(
        &peripheral, &BLEPeripheral::channelOpened,
        [this](const std::shared_ptr<ChannelSocket>& channel, const std::optional<QString>& error) {
            channelOpened(channel, error);
        });
}

GATTService BLEServer::gattService(quint16 psm) {
    GATTCharacteristic characteristic;
    characteristic.uuid = psmCharUUID;
    characteristic.properties = GATTCharacteristic::kPropertyRead;
    characteristic.permissions = GATTCharacteristic::kPermissionReadable;
    const char littleEndian[2] = {char(psm & 0xFF), char(psm >> 8)};
    characteristic.value = QByteArray(littleEndian, 2);
    return GATTService{serviceUUID, true, {characteristic}};
}

void BLEServer::stateUpdated(BLEState state) {
    switch (state) {
        case BLEState::Unauthorized:
            logWarning(QStringLiteral("BLE unauthorized (autorisation Bluetooth refusée)"));
            break;
        case BLEState::PoweredOff:
            break;
        case BLEState::PoweredOn:
            logLine(QStringLiteral("BLE powered on, publishing L2CAP channel"));
            ++powerOns_;
            publishRetries_ = 0;
            psm_ = 0;
            manager_->publishChannel();
            break;
        default:
            logLine(QStringLiteral("BLE state: %1").arg(int(state)));
            break;
    }
}

void BLEServer::channelPublished(quint16 psm, const std::optional<QString>& error) {
    if (error) {
        logWarning(QStringLiteral("BLE publish L2CAP failed: %1").arg(*error));
        if (publishRetries_ < kMaxPublishRetries) {
            ++publishRetries_;
            scheduleRetry();
        }
        return;
    }
    psm_ = psm;
    logLine(QStringLiteral("BLE L2CAP PSM: %1").arg(psm));
    manager_->addService(gattService(psm));
}

void BLEServer::scheduleRetry() {
    const int powerOn = powerOns_;
    schedule_(kRetryDelay, whileAlive(life_, [this, powerOn] {
                  if (powerOn != powerOns_ || !manager_) return;
                  if (manager_->state() != BLEState::PoweredOn) return;
                  logLine(QStringLiteral("BLE publish retry %1").arg(publishRetries_));
                  manager_->publishChannel();
              }));
}

void BLEServer::serviceAdded(const std::optional<QString>& error) {
    if (error) {
        logWarning(QStringLiteral("BLE add service failed: %1").arg(*error));
        return;
    }
    const QString name = state_.displayName();
    manager_->startAdvertising(AdvertisingData{{serviceUUID}, name});
    logLine(QStringLiteral("BLE advertising as %1").arg(name));
}

void BLEServer::advertisingStarted(const std::optional<QString>& error) {
    if (error)
        logWarning(QStringLiteral("BLE advertising failed: %1").arg(*error));
    else
        logLine(QStringLiteral("BLE advertising actif"));
}

void BLEServer::channelOpened(const std::shared_ptr<ChannelSocket>& channel,
                              const std::optional<QString>& error) {
    if (!channel || error) {
        const QString reason =
            error ? QStringLiteral("Optional(%1)").arg(*error) : QStringLiteral("nil");
        logWarning(QStringLiteral("BLE channel open failed: %1").arg(reason));
        return;
    }
    openChannel(std::move(*channel));
}

void BLEServer::openChannel(ChannelSocket socket) {
    if (qsizetype(unauthenticated_.size()) >= limits_.maxUnauthenticated)
        closeOldestUnauthenticated();
    else
        crowded_ = false;
    logLine(QStringLiteral("BLE client connected"));
    const quint64 id = ++lastChannelId_;
    auto channel =
        BLEChannel::create(std::move(socket), router_, channelCallbacks(id), limits_.channel);
    channels_.emplace_back(id, channel);
    unauthenticated_.insert(id);
    channel->open();
}

// Channels left waiting must not keep a phone out: the one that has waited longest makes room.
void BLEServer::closeOldestUnauthenticated() {
    if (unauthenticated_.empty()) return;
    if (!crowded_)
        logWarning(QStringLiteral("BLE: %1 channels await authentication; closing the oldest to "
                                  "make room")
                       .arg(unauthenticated_.size()));
    crowded_ = true;
    const quint64 oldest = *std::min_element(unauthenticated_.begin(), unauthenticated_.end());
    unauthenticated_.erase(oldest);
    const auto it = std::find_if(channels_.begin(), channels_.end(),
                                 [oldest](const auto& entry) { return entry.first == oldest; });
    if (it == channels_.end()) return;
    // Its close report removes it from the list, as for any other close.
    postToMain([weak = std::weak_ptr<BLEChannel>(it->second)] {
        if (const auto channel = weak.lock()) channel->teardown();
    });
}

// The channel reports from the main thread; its list is changed only here, on the queue.
BLEChannel::Callbacks BLEServer::channelCallbacks(quint64 id) {
    const auto onQueue = [queue = std::weak_ptr<SerialQueue>(queue_),
                          life = std::weak_ptr<int>(life_)](std::function<void()> task) {
        const auto q = queue.lock();
        if (!q) return;
        q->async([life, task = std::move(task)] {
            if (!life.expired()) task();
        });
    };
    BLEChannel::Callbacks callbacks;
    callbacks.onClose = [this, onQueue, id](BLEChannel&) {
        onQueue([this, id] { removeChannel(id); });
    };
    callbacks.onAuthenticated = [this, onQueue, id](BLEChannel&) {
        onQueue([this, id] { unauthenticated_.erase(id); });
    };
    return callbacks;
}

void BLEServer::removeChannel(quint64 id) {
    unauthenticated_.erase(id);
    const auto it = std::find_if(channels_.begin(), channels_.end(),
                                 [id](const auto& entry) { return entry.first == id; });
    if (it == channels_.end()) return;
    std::shared_ptr<BLEChannel> gone = std::move(it->second);
    channels_.erase(it);
    // Its socket notifiers belong to the main thread, so it is released there.
    postToMain([gone = std::move(gone)]() mutable { gone.reset(); });
}
