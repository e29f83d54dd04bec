// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/RemoteDesktopSession.h"

#include "base/Clock.h"
#include "base/Log.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QTimer>

namespace {
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage portalCall(const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(QLatin1String(RemoteDesktopSession::kService),
                                          QLatin1String(RemoteDesktopSession::kPath), interface,
                                          method);
}

QDBusMessage versionCall() {
    QDBusMessage call = portalCall(kProperties, QStringLiteral("Get"));
    call.setArguments({QLatin1String(RemoteDesktopSession::kInterface), QStringLiteral("version")});
    return call;
}

// The session handle of CreateSession's results: a string in the documented interface, an
// object path in some implementations.
QString objectPath(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}
}  // namespace

RemoteDesktopSession::RemoteDesktopSession(QDBusConnection bus, RestoreTokenFile restoreToken)
    : bus_(std::move(bus)), restoreToken_(std::move(restoreToken)) {}

RemoteDesktopSession::~RemoteDesktopSession() {
    // Ending the session now is not a change anyone is left to hear of.
    blockSignals(true);
    end();
}

void RemoteDesktopSession::probe(const QDBusConnection& bus, QObject* context,
                                 std::function<void(std::optional<uint>)> answer) {
    if (!bus.isConnected()) return answer(std::nullopt);
    // Within the bus's own timeout, it starts the portal on first use.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(versionCall()), context);
    connect(watcher, &QDBusPendingCallWatcher::finished, context,
            [answer = std::move(answer)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *w;
                const uint version = reply.isError() ? 0 : reply.value().variant().toUInt();
                answer(version ? std::optional(version) : std::nullopt);
            });
}

void RemoteDesktopSession::start() {
    if (state_ == State::Starting || state_ == State::Started) return;
    if (!bus_.isConnected()) {
        fail(QStringLiteral("no session bus"));
        return;
    }
    setState(State::Starting);
    readVersion();
}

void RemoteDesktopSession::readVersion() {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(versionCall()), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *w;
        if (reply.isError()) {
            fail(QStringLiteral("no RemoteDesktop portal answers (%1)")
                     .arg(reply.error().message()));
            return;
        }
        version_ = reply.value().variant().toUInt();
        if (version_ < kPersistSince)
            logLine(QStringLiteral("Input: the desktop portal (RemoteDesktop version %1) cannot "
                                   "remember consent; it will ask at every start")
                        .arg(version_));
        createSession();
    });
}

void RemoteDesktopSession::createSession() {
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
                   QStringLiteral("olvane_session%1").arg(++requests_));
    request(QStringLiteral("CreateSession"), {}, options,
            [this](uint response, const QVariantMap& results) {
                if (response != 0) return refused(QStringLiteral("CreateSession"), response);
                sessionPath_ = objectPath(results.value(QStringLiteral("session_handle")));
                if (sessionPath_.isEmpty())
                    return fail(QStringLiteral("CreateSession gave no session handle"));
                bus_.connect(QLatin1String(kService), sessionPath_, kSession,
                             QStringLiteral("Closed"), this,
                             SLOT(onClosed(QVariantMap, QDBusMessage)));
                selectDevices();
            });
}

void RemoteDesktopSession::selectDevices() {
    QVariantMap options;
    options.insert(QStringLiteral("types"), kKeyboard | kPointer);
    if (version_ >= kPersistSince) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        const QString token = restoreToken_.read();
        if (!token.isEmpty()) options.insert(QStringLiteral("restore_token"), token);
    }
    request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(sessionPath_))},
            options, [this](uint response, const QVariantMap&) {
                if (response != 0) return refused(QStringLiteral("SelectDevices"), response);
                startSession();
            });
}

void RemoteDesktopSession::startSession() {
    request(QStringLiteral("Start"),
            {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QString()}, {},
            [this](uint response, const QVariantMap& results) {
                if (version_ >= kPersistSince) {
                    // A token serves once: keep the new one, or none.
                    const QString token = results.value(QStringLiteral("restore_token")).toString();
                    token.isEmpty() ? restoreToken_.remove() : restoreToken_.write(token);
                }
                if (response != 0) return refused(QStringLiteral("Start"), response);
                const uint devices = results.value(QStringLiteral("devices")).toUInt();
                if ((devices & (kKeyboard | kPointer)) != (kKeyboard | kPointer))
                    logLine(QStringLiteral("Input: the desktop granted only part of the input "
                                           "devices (%1 of keyboard 1 and pointer 2)")
                                .arg(devices));
                logLine(
                    QStringLiteral("Input: posting through the desktop portal (RemoteDesktop "
                                   "session started)"));
                setState(State::Started);
            });
}

void RemoteDesktopSession::request(const QString& method, QVariantList args, QVariantMap options,
                                   Answer answer) {
    const QString token = QStringLiteral("olvane%1").arg(++requests_);
    options.insert(QStringLiteral("handle_token"), token);
    const QString path = requestPath(token);
    listen(path, std::move(answer));
    args.append(options);
    QDBusMessage call = portalCall(QLatin1String(kInterface), method);
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path, method](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *w;
                if (reply.isError()) {
                    if (stopListening(path))
                        fail(QStringLiteral("%1 failed: %2").arg(method, reply.error().message()));
                    return;
                }
                // Portals older than the request path rule choose their own.
                const QString handle = reply.value().path();
                if (handle != path && pending_.contains(path)) {
                    Answer answer = pending_.value(path);
                    stopListening(path);
                    listen(handle, std::move(answer));
                }
            });
}

void RemoteDesktopSession::listen(const QString& requestPath, Answer answer) {
    pending_.emplace(requestPath, std::move(answer));
    bus_.connect(QLatin1String(kService), requestPath, kRequest, QStringLiteral("Response"), this,
                 SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
}

bool RemoteDesktopSession::stopListening(const QString& requestPath) {
    if (!pending_.remove(requestPath)) return false;
    bus_.disconnect(QLatin1String(kService), requestPath, kRequest, QStringLiteral("Response"),
                    this, SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
    return true;
}

QString RemoteDesktopSession::requestPath(const QString& token) const {
    // The sender's unique name without its colon and with underscores for dots.
    QString sender = bus_.baseService();
    sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/request/%2/%3").arg(QLatin1String(kPath), sender, token);
}

void RemoteDesktopSession::onResponse(uint response, const QVariantMap& results,
                                      const QDBusMessage& message) {
    const QString path = message.path();
    const Answer answer = pending_.value(path);
    if (!stopListening(path) || !answer) return;
    answer(response, results);
}

void RemoteDesktopSession::onClosed(const QVariantMap&, const QDBusMessage& message) {
    if (message.path() != sessionPath_) return;
    logLine(
        QStringLiteral("Input: the desktop ended the remote control session; input cannot be "
                       "posted until it is allowed again"));
    sessionPath_.clear();  // closed already: nothing to close
    end();
}

void RemoteDesktopSession::refused(const QString& step, uint response) {
    if (response == 1)
        logLine(QStringLiteral("Input: remote control was refused on the desktop"));
    else
        logLine(QStringLiteral("Input: the desktop portal ended the %1 request (response %2)")
                    .arg(step)
                    .arg(response));
    end();
}

void RemoteDesktopSession::fail(const QString& why) {
    logLine(QStringLiteral("Input: desktop portal: %1").arg(why));
    end();
}

// The session may still run, but nothing tells when the portal takes events again: it is
// ended, what waits dropped, and the desktop asked for a new one.
void RemoteDesktopSession::broken(const QString& why) {
    logWarning(QStringLiteral("Input: %1; the remote control session is ended, %2 waiting input "
                              "events dropped, and the desktop asked again")
                   .arg(why)
                   .arg(events_.size()));
    end();
    start();
}

void RemoteDesktopSession::end() {
    for (const QString& path : pending_.keys()) stopListening(path);
    events_.clear();
    sending_ = false;
    ++generation_;
    if (!sessionPath_.isEmpty()) {
        bus_.disconnect(QLatin1String(kService), sessionPath_, kSession, QStringLiteral("Closed"),
                        this, SLOT(onClosed(QVariantMap, QDBusMessage)));
        bus_.send(QDBusMessage::createMethodCall(QLatin1String(kService), sessionPath_, kSession,
                                                 QStringLiteral("Close")));
        sessionPath_.clear();
    }
    setState(State::Ended);
}

void RemoteDesktopSession::setState(State state) {
    if (state == state_) return;
    state_ = state;
    emit stateChanged();
}

void RemoteDesktopSession::notify(const char* method, const QVariantList& values, bool key) {
    enqueue({method, values, 0, key});
}

void RemoteDesktopSession::pause(int ms) {
    enqueue({nullptr, {}, ms});
}

void RemoteDesktopSession::enqueue(Event event) {
    if (state_ != State::Started) return;
    events_.push_back(std::move(event));
    sendNext();
}

std::function<void()> RemoteDesktopSession::thenNext() {
    sending_ = true;
    return [this, generation = generation_] {
        if (generation != generation_) return;
        sending_ = false;
        sendNext();
        emit eventTaken();
    };
}

void RemoteDesktopSession::sendNext() {
    if (sending_ || events_.empty()) return;
    if (events_.front().key) {
        if (const int wait = keyPacer_.delayBeforeKey(systemUptime())) {
            QTimer::singleShot(wait, this, thenNext());
            return;
        }
    }
    const Event event = events_.front();
    events_.pop_front();
    auto next = thenNext();
    if (!event.method) {
        QTimer::singleShot(event.pauseMs, this, next);
        return;
    }
    QDBusMessage call = portalCall(QLatin1String(kInterface), QLatin1String(event.method));
    call.setArguments(QVariantList{QVariant::fromValue(QDBusObjectPath(sessionPath_))} +
                      event.values);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kEventTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, next](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (w->isError() && (w->error().type() == QDBusError::NoReply ||
                                     w->error().type() == QDBusError::Timeout)) {
                    broken(QStringLiteral("the desktop portal took no event for %1 s")
                               .arg(kEventTimeoutMs / 1000));
                    return;
                }
                if (!w->isError()) {
                    notifyFailureReported_ = false;
                } else if (!notifyFailureReported_) {
                    notifyFailureReported_ = true;
                    logLine(QStringLiteral("Input: the desktop portal refused an event: %1")
                                .arg(w->error().message()));
                }
                next();
            });
}

void RemoteDesktopSession::pointerMotion(double dx, double dy) {
    notify("NotifyPointerMotion", {QVariantMap(), dx, dy});
}

void RemoteDesktopSession::pointerButton(int button, bool pressed) {
    notify("NotifyPointerButton", {QVariantMap(), button, uint(pressed)});
}

void RemoteDesktopSession::pointerAxis(double dx, double dy, bool finish) {
    QVariantMap options;
    if (finish) options.insert(QStringLiteral("finish"), true);
    notify("NotifyPointerAxis", {options, dx, dy});
}

void RemoteDesktopSession::keyboardKeycode(int keycode, bool pressed) {
    notify("NotifyKeyboardKeycode", {QVariantMap(), keycode, uint(pressed)}, true);
}

void RemoteDesktopSession::keyboardKeysym(int keysym, bool pressed) {
    notify("NotifyKeyboardKeysym", {QVariantMap(), keysym, uint(pressed)}, true);
}

void RemoteDesktopSession::pointerAxisDiscrete(uint axis, int steps) {
    notify("NotifyPointerAxisDiscrete", {QVariantMap(), axis, steps});
}
