// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/BluezPeripheral.h"

#include "base/Log.h"
#include "transport/bluez/BluezAdapterWatch.h"
#include "transport/bluez/BluezDBus.h"
#include "transport/bluez/GATTApplication.h"
#include "transport/bluez/LEAdvertisement.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

#include <atomic>

namespace {
QString uniqueConnectionName() {
    static std::atomic<int> count{0};
    return QStringLiteral("olvane.ble.%1").arg(++count);
}

QDBusConnection connectTo(const QString& address, const QString& name) {
    if (address.isEmpty()) return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
    return QDBusConnection::connectToBus(address, name);
}
}  // namespace

BluezPeripheral::BluezPeripheral(Options options)
    : connectionName_(uniqueConnectionName()),
      connection_(connectTo(options.busAddress, connectionName_)),
      listen_(std::move(options.listen)),
      adapter_(new BluezAdapterWatch(
          connection_, [this](BLEState state) { stateChanged(state); }, this)) {
    Bluez::registerTypes();
}

BluezPeripheral::~BluezPeripheral() {
    reporting_ = false;
    dropPublication();
    delete adapter_;
    connection_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName_);
}

bool BluezPeripheral::bluezAnswers() {
    const QDBusConnection bus = QDBusConnection::systemBus();
    const QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    if (!daemon) return false;
    const QString service = QLatin1String(Bluez::kService);
    return daemon->isServiceRegistered(service).value() ||
           daemon->activatableServiceNames().value().contains(service);
}

void BluezPeripheral::start() {
    reporting_ = true;
    if (!connection_.isConnected()) {
        logWarning(
            QStringLiteral("BLE: no system bus: %1").arg(Bluez::describe(connection_.lastError())));
        answer([this] { emit stateUpdated(BLEState::Unsupported); });
        return;
    }
    adapter_->start();
}

BLEState BluezPeripheral::state() const {
    return adapter_->state();
}

void BluezPeripheral::stateChanged(BLEState state) {
    if (state != BLEState::PoweredOn) dropPublication();
    if (reporting_) emit stateUpdated(state);
}

void BluezPeripheral::publishChannel() {
    L2CAPListener::Listening listening = listen_();
    if (!listening.fd.valid()) {
        answer([this, error = listening.error] { emit channelPublished(0, error); });
        return;
    }
    listener_ = std::make_unique<L2CAPListener>(
        std::move(listening),
        [this](std::optional<ChannelSocket> channel, std::optional<QString> error) {
            if (!reporting_) return;
            emit channelOpened(
                channel ? std::make_shared<ChannelSocket>(std::move(*channel)) : nullptr, error);
        });
    answer([this, psm = listener_->psm()] { emit channelPublished(psm, std::nullopt); });
}

// The service exists to tell phones the channel's PSM; it goes with the channel, and so does
// any answer still on its way about either.
void BluezPeripheral::unpublishChannel(quint16 psm) {
    if (!listener_ || listener_->psm() != psm) return;
    ++epoch_;
    listener_.reset();
    unregisterApplication();
}

void BluezPeripheral::addService(const GATTService& service) {
    const auto fail = [this](const QString& error) {
        answer([this, error] { emit serviceAdded(error); });
    };
    if (!adapter_->adapterHas(Bluez::kGATTManager))
        return fail(QStringLiteral("the Bluetooth adapter has no GATT manager"));
    unregisterApplication();
    application_ = std::make_unique<GATTApplication>(connection_, service);
    if (const std::optional<QString> error = application_->exportObjects()) {
        application_.reset();
        return fail(*error);
    }
    applicationAdapter_ = adapter_->adapterPath();
    callAdapter(Bluez::kGATTManager, QStringLiteral("RegisterApplication"),
                GATTApplication::kRootPath, [this](const std::optional<QString>& error) {
                    if (error) {
                        applicationAdapter_.clear();
                        application_.reset();
                    }
                    emit serviceAdded(error);
                });
}

void BluezPeripheral::startAdvertising(const AdvertisingData& data) {
    const auto fail = [this](const QString& error) {
        answer([this, error] { emit advertisingStarted(error); });
    };
    if (!adapter_->adapterHas(Bluez::kAdvertisingManager))
        return fail(
            QStringLiteral("the Bluetooth adapter cannot advertise (no LE advertising manager)"));
    unregisterAdvertisement();
    advertisement_ =
        std::make_unique<LEAdvertisement>(connection_, data, [this] { onAdvertisementReleased(); });
    if (const std::optional<QString> error = advertisement_->exportObject()) {
        advertisement_.reset();
        return fail(*error);
    }
    advertisementAdapter_ = adapter_->adapterPath();
    callAdapter(Bluez::kAdvertisingManager, QStringLiteral("RegisterAdvertisement"),
                LEAdvertisement::kPath, [this](const std::optional<QString>& error) {
                    if (error) {
                        advertisementAdapter_.clear();
                        advertisement_.reset();
                    }
                    emit advertisingStarted(error);
                });
}

void BluezPeripheral::stopAdvertising() {
    unregisterAdvertisement();
}

void BluezPeripheral::dropPublication() {
    ++epoch_;
    listener_.reset();
    unregisterApplication();
    unregisterAdvertisement();
}

// Best effort: BlueZ may have dropped it already, or gone.
void BluezPeripheral::unregisterApplication() {
    if (!applicationAdapter_.isEmpty()) {
        const QDBusMessage call =
            QDBusMessage::createMethodCall(QLatin1String(Bluez::kService), applicationAdapter_,
                                           QLatin1String(Bluez::kGATTManager),
                                           QStringLiteral("UnregisterApplication"))
            << QVariant::fromValue(QDBusObjectPath(GATTApplication::kRootPath));
        connection_.call(call, QDBus::NoBlock);
        applicationAdapter_.clear();
    }
    application_.reset();
}

void BluezPeripheral::unregisterAdvertisement() {
    if (!advertisementAdapter_.isEmpty()) {
        const QDBusMessage call =
            QDBusMessage::createMethodCall(QLatin1String(Bluez::kService), advertisementAdapter_,
                                           QLatin1String(Bluez::kAdvertisingManager),
                                           QStringLiteral("UnregisterAdvertisement"))
            << QVariant::fromValue(QDBusObjectPath(LEAdvertisement::kPath));
        connection_.call(call, QDBus::NoBlock);
        advertisementAdapter_.clear();
    }
    advertisement_.reset();
}

// BlueZ calls Release once it has dropped the advertisement itself, after which there is
// nothing to unregister. The object goes after the call that is still on it.
void BluezPeripheral::onAdvertisementReleased() {
    logLine(QStringLiteral("BLE advertisement released by BlueZ"));
    advertisementAdapter_.clear();
    QMetaObject::invokeMethod(
        this,
        [this, epoch = epoch_] {
            if (epoch == epoch_ && advertisementAdapter_.isEmpty()) advertisement_.reset();
        },
        Qt::QueuedConnection);
}

void BluezPeripheral::answer(std::function<void()> report) {
    QMetaObject::invokeMethod(
        this,
        [this, epoch = epoch_, report = std::move(report)] {
            if (epoch == epoch_ && reporting_) report();
        },
        Qt::QueuedConnection);
}

void BluezPeripheral::callAdapter(const char* interface, const QString& method, const QString& path,
                                  Done done) {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(Bluez::kService), adapter_->adapterPath(),
                                       QLatin1String(interface), method)
        << QVariant::fromValue(QDBusObjectPath(path)) << QVariantMap();
    auto* pending = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, pending, epoch = epoch_, done = std::move(done)] {
                pending->deleteLater();
                if (epoch != epoch_ || !reporting_) return;
                if (pending->isError())
                    done(Bluez::describe(pending->error()));
                else
                    done(std::nullopt);
            });
}
