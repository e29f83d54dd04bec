#include "transport/bluez/BluezPeripheral.h"

#include "base/Log.h"
#include "transport/bluez/BluezAdapterWatch.h"
#include "transport/bluez/BluezDBus.h"
#include "transport/bluez/GattApplication.h"
#include "transport/bluez/LeAdvertisement.h"

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
          connection_, [this](BleState state) { stateChanged(state); }, this)) {
    Bluez::registerTypes();
}

BluezPeripheral::~BluezPeripheral() {
    delegate_ = nullptr;
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

void BluezPeripheral::setDelegate(BlePeripheralDelegate* delegate) {
    delegate_ = delegate;
    if (!connection_.isConnected()) {
        logLine(
            QStringLiteral("BLE: no system bus: %1").arg(Bluez::describe(connection_.lastError())));
        answer([this] { delegate_->peripheralDidUpdateState(BleState::Unsupported); });
        return;
    }
    adapter_->start();
}

BleState BluezPeripheral::state() const {
    return adapter_->state();
}

void BluezPeripheral::stateChanged(BleState state) {
    if (state != BleState::PoweredOn) dropPublication();
    if (delegate_) delegate_->peripheralDidUpdateState(state);
}

void BluezPeripheral::publishChannel() {
    const L2capListener::Listening listening = listen_();
    if (listening.fd < 0) {
        answer(
            [this, error = listening.error] { delegate_->peripheralDidPublishChannel(0, error); });
        return;
    }
    listener_ = std::make_unique<L2capListener>(
        listening, [this](std::optional<ChannelSocket> channel, std::optional<QString> error) {
            if (delegate_) delegate_->peripheralDidOpenChannel(std::move(channel), error);
        });
    answer(
        [this, psm = listening.psm] { delegate_->peripheralDidPublishChannel(psm, std::nullopt); });
}

// The service exists to tell phones the channel's PSM; it goes with the channel, and so does
// any answer still on its way about either.
void BluezPeripheral::unpublishChannel(quint16 psm) {
    if (!listener_ || listener_->psm() != psm) return;
    ++epoch_;
    listener_.reset();
    unregisterApplication();
}

void BluezPeripheral::addService(const GattService& service) {
    const auto fail = [this](const QString& error) {
        answer([this, error] { delegate_->peripheralDidAddService(error); });
    };
    if (!adapter_->adapterHas(Bluez::kGattManager))
        return fail(QStringLiteral("the Bluetooth adapter has no GATT manager"));
    unregisterApplication();
    application_ = std::make_unique<GattApplication>(connection_, service);
    if (const std::optional<QString> error = application_->exportObjects()) {
        application_.reset();
        return fail(*error);
    }
    applicationAdapter_ = adapter_->adapterPath();
    callAdapter(Bluez::kGattManager, QStringLiteral("RegisterApplication"),
                GattApplication::kRootPath, [this](const std::optional<QString>& error) {
                    if (error) {
                        applicationAdapter_.clear();
                        application_.reset();
                    }
                    delegate_->peripheralDidAddService(error);
                });
}

void BluezPeripheral::startAdvertising(const AdvertisingData& data) {
    const auto fail = [this](const QString& error) {
        answer([this, error] { delegate_->peripheralDidStartAdvertising(error); });
    };
    if (!adapter_->adapterHas(Bluez::kAdvertisingManager))
        return fail(
            QStringLiteral("the Bluetooth adapter cannot advertise (no LE advertising manager)"));
    unregisterAdvertisement();
    advertisement_ =
        std::make_unique<LeAdvertisement>(connection_, data, [this] { onAdvertisementReleased(); });
    if (const std::optional<QString> error = advertisement_->exportObject()) {
        advertisement_.reset();
        return fail(*error);
    }
    advertisementAdapter_ = adapter_->adapterPath();
    callAdapter(Bluez::kAdvertisingManager, QStringLiteral("RegisterAdvertisement"),
                LeAdvertisement::kPath, [this](const std::optional<QString>& error) {
                    if (error) {
                        advertisementAdapter_.clear();
                        advertisement_.reset();
                    }
                    delegate_->peripheralDidStartAdvertising(error);
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
                                           QLatin1String(Bluez::kGattManager),
                                           QStringLiteral("UnregisterApplication"))
            << QVariant::fromValue(QDBusObjectPath(GattApplication::kRootPath));
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
            << QVariant::fromValue(QDBusObjectPath(LeAdvertisement::kPath));
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
            if (epoch == epoch_ && delegate_) report();
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
                if (epoch != epoch_ || !delegate_) return;
                if (pending->isError())
                    done(Bluez::describe(pending->error()));
                else
                    done(std::nullopt);
            });
}
