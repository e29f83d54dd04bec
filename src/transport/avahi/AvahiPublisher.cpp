// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/avahi/AvahiPublisher.h"

#include "base/Log.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Avahi");
const QString kServer = QStringLiteral("org.freedesktop.Avahi.Server");
const QString kEntryGroup = QStringLiteral("org.freedesktop.Avahi.EntryGroup");
const QString kCollisionError = QStringLiteral("org.freedesktop.Avahi.CollisionError");

// Avahi's server and entry group states.
constexpr int kServerRegistering = 1;
constexpr int kServerRunning = 2;
constexpr int kServerCollision = 3;
constexpr int kGroupEstablished = 2;
constexpr int kGroupCollision = 3;
constexpr int kGroupFailure = 4;

constexpr qint32 kAnyInterface = -1;
// Both IPv4 and IPv6: the WebSocket server listens on every address.
constexpr qint32 kAnyProtocol = -1;
}  // namespace

AvahiPublisher::AvahiPublisher(QString name, QString type, quint16 port, QDBusConnection bus)
    : bus_(std::move(bus)), name_(std::move(name)), type_(std::move(type)), port_(port) {
    // The TXT record travels as an array of byte arrays ("aay").
    qDBusRegisterMetaType<QList<QByteArray>>();
}

AvahiPublisher::~AvahiPublisher() = default;

void AvahiPublisher::start() {
    if (!bus_.isConnected()) {
        reportUnavailable();
        return;
    }
    watcher_ =
        new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ownerChanged(newOwner);
            });
    bus_.connect(kService, QStringLiteral("/"), kServer, QStringLiteral("StateChanged"), this,
                 SLOT(serverStateChanged(int, QString)));
    publish();
}

void AvahiPublisher::ownerChanged(const QString& newOwner) {
    // The groups of a daemon that went are gone with it.
    ++generation_;
    forgetGroup();
    if (newOwner.isEmpty()) {
        logWarning(QStringLiteral("Avahi stopped; the service is not advertised until it returns"));
        return;
    }
    reportedUnavailable_ = false;
    publish();
}

void AvahiPublisher::publish() {
    if (!bus_.interface()->isServiceRegistered(kService)) {
        reportUnavailable();
        return;
    }
    call(QStringLiteral("/"), kServer, QStringLiteral("GetState"), {},
         [this](const QDBusMessage& reply) {
             if (failed(reply, QStringLiteral("GetState"))) return;
             // Otherwise the service goes out when the server reports that it runs.
             if (reply.arguments().value(0).toInt() == kServerRunning) addToGroup();
         });
}

void AvahiPublisher::serverStateChanged(int state, const QString&) {
    if (state == kServerRunning && !serviceAdded_) {
        addToGroup();
    } else if ((state == kServerRegistering || state == kServerCollision) &&
               !groupPath_.isEmpty()) {
        // The host name is changing: withdraw, and add again once the server runs.
        call(groupPath_, kEntryGroup, QStringLiteral("Reset"), {}, [](const QDBusMessage&) {});
        serviceAdded_ = false;
        established_ = false;
    }
}

void AvahiPublisher::addToGroup() {
    if (serviceAdded_) return;
    serviceAdded_ = true;
    if (!groupPath_.isEmpty()) {
        addService();
        return;
    }
    call(QStringLiteral("/"), kServer, QStringLiteral("EntryGroupNew"), {},
         [this](const QDBusMessage& reply) {
             if (failed(reply, QStringLiteral("EntryGroupNew"))) {
                 serviceAdded_ = false;
                 return;
             }
             groupPath_ = qvariant_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
             bus_.connect(kService, groupPath_, kEntryGroup, QStringLiteral("StateChanged"), this,
                          SLOT(groupStateChanged(int, QString, QDBusMessage)));
             addService();
         });
}

void AvahiPublisher::addService() {
    const QList<QVariant> arguments{kAnyInterface,
                                    kAnyProtocol,
                                    quint32(0),
                                    name_,
                                    type_,
                                    QString(),  // the default domain
                                    QString(),  // this host
                                    QVariant::fromValue(port_),
                                    QVariant::fromValue(QList<QByteArray>())};
    call(groupPath_, kEntryGroup, QStringLiteral("AddService"), arguments,
         [this](const QDBusMessage& reply) {
             // Another program on this computer already publishes the name.
             if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == kCollisionError)
                 return rename();
             if (failed(reply, QStringLiteral("AddService"))) return;
             call(groupPath_, kEntryGroup, QStringLiteral("Commit"), {},
                  [this](const QDBusMessage& r) { failed(r, QStringLiteral("Commit")); });
         });
}

void AvahiPublisher::groupStateChanged(int state, const QString& error,
                                       const QDBusMessage& message) {
    if (message.path() != groupPath_) return;
    established_ = state == kGroupEstablished;
    if (state == kGroupEstablished) {
        logLine(QStringLiteral("mDNS service \"%1\" published (%2, port %3)")
                    .arg(name_, type_)
                    .arg(port_));
    } else if (state == kGroupCollision) {
        call(groupPath_, kEntryGroup, QStringLiteral("Reset"), {},
             [this](const QDBusMessage&) { rename(); });
    } else if (state == kGroupFailure) {
        logWarning(QStringLiteral("Avahi could not publish \"%1\": %2").arg(name_, error));
    }
}

void AvahiPublisher::rename() {
    call(QStringLiteral("/"), kServer, QStringLiteral("GetAlternativeServiceName"), {name_},
         [this](const QDBusMessage& reply) {
             if (failed(reply, QStringLiteral("GetAlternativeServiceName"))) return;
             const QString alternative = reply.arguments().value(0).toString();
             logLine(QStringLiteral("mDNS name \"%1\" is taken; publishing as \"%2\"")
                         .arg(name_, alternative));
             name_ = alternative;
             addService();
         });
}

void AvahiPublisher::forgetGroup() {
    if (!groupPath_.isEmpty())
        bus_.disconnect(kService, groupPath_, kEntryGroup, QStringLiteral("StateChanged"), this,
                        SLOT(groupStateChanged(int, QString, QDBusMessage)));
    groupPath_.clear();
    serviceAdded_ = false;
    established_ = false;
}

void AvahiPublisher::reportUnavailable() {
    if (reportedUnavailable_) return;
    reportedUnavailable_ = true;
    logLine(QStringLiteral("mDNS désactivé (Avahi indisponible)"));
}

void AvahiPublisher::call(const QString& path, const QString& interface, const QString& method,
                          const QList<QVariant>& arguments, ReplyHandler onReply) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    const quint64 generation = generation_;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation, onReply = std::move(onReply)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (generation == generation_) onReply(w->reply());
            });
}

bool AvahiPublisher::failed(const QDBusMessage& reply, const QString& what) {
    if (reply.type() != QDBusMessage::ErrorMessage) return false;
    logWarning(QStringLiteral("Avahi %1 failed: %2").arg(what, reply.errorMessage()));
    return true;
}
