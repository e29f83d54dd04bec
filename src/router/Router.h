// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/ClientSession.h"
#include "router/SessionSubscribers.h"
#include "router/VolumeWatch.h"

#include <QByteArrayView>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class AppState;
class Input;
struct Env;

// The phone protocol: authenticates sessions against AppState and hands their commands to
// Input. Runs on the queue of the transport that received the message, one message at a
// time per session.
class Router {
public:
    struct Options {
        bool dryRun = false;    // log commands instead of injecting them
        bool logInput = false;  // log the type of every command
        static Options fromEnv(const Env& env);
    };

    Router(AppState& state, Input& input, Options options);
    // Waits for volume readings under way: Input must outlive the router.
    ~Router();

    void handleJSON(const QJsonObject& message, const std::shared_ptr<ClientSession>& session);
    void handleBinary(QByteArrayView bytes, const std::shared_ptr<ClientSession>& session);
    // A text message: anything but a JSON object is dropped.
    void handleText(QByteArrayView utf8, const std::shared_ptr<ClientSession>& session);
    // The transport saw the connection end.
    void sessionEnded(ClientSession& session);
    // For a transport whose queue may wait: blocks while input lags far behind (see
    // Input::throttle).
    void throttle();
    // For a transport on the main thread, which must not wait: whether to stop reading until
    // resume runs (see Input::holdBack).
    bool holdBack(std::function<void()> resume);

    // From any thread: the computer's volume or mute may have changed. Sessions that asked to
    // watch it ("getvol" with "watch": true) are sent a "vol" if it did.
    void volumeMayHaveChanged() { volumeWatch_.changed(); }

    bool dryRun() const { return options_.dryRun; }
    static QJsonObject pongReply(const QJsonObject& request, bool ax);

private:
    using Handler = void (Router::*)(const QJsonObject&, const std::shared_ptr<ClientSession>&);

    void hello(const QJsonObject& message, const std::shared_ptr<ClientSession>& session);
    void pair(const QJsonObject& message, const std::shared_ptr<ClientSession>& session);
    void unpair(const QJsonObject& message, const std::shared_ptr<ClientSession>& session);
    void dryRunCommand(const QString& type, const QJsonObject& message,
                       const std::shared_ptr<ClientSession>& session);
    void runCommand(const QString& type, const QJsonObject& message,
                    const std::shared_ptr<ClientSession>& session);

    void move(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void click(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void drag(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void scroll(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void text(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void key(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void modifier(const QJsonObject& m, const std::shared_ptr<ClientSession>& session);
    void media(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void volume(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void getVolume(const QJsonObject& m, const std::shared_ptr<ClientSession>&);
    void ping(const QJsonObject& m, const std::shared_ptr<ClientSession>&);

    void authenticate(const std::shared_ptr<ClientSession>& session, const QString& token);
    // False for a session that was closed because its token is no longer valid.
    bool stillValid(const ClientSession& session);
    // Closes every session whose token is no longer valid (unpaired, or gone from the token
    // file); unless told to look anyway, only when the tokens changed since the last look.
    void closeRevokedSessions(bool lookAnyway = false);
    // Input the page stamped more than a second before it came: dropped, and logged now and
    // then. Any stamp teaches the session's clock; releases are always carried out.
    bool stale(const QString& type, const QJsonObject& message, ClientSession& session);
    bool stale(std::optional<double> stampMs, ClientSession& session);
    void readVolume(VolumeWatch::Answer answer);
    QJsonObject welcome(const QString& type) const;
    QJsonObject badCodeReply() const;
    bool ax() const;

    static const QHash<QString, Handler>& commands();

    AppState& state_;
    Input& input_;
    const Options options_;

    // Each authenticated session with the token it last authenticated with.
    struct Binding {
        std::weak_ptr<ClientSession> session;
        QString token;
    };
    std::mutex bindingsMutex_;
    std::vector<Binding> bindings_;
    quint64 checkedRevision_ = 0;
    std::atomic<double> lastStaleLogMs_ = -1e300;

    // The sessions that asked to be told of volume changes.
    SessionSubscribers volumeWatchers_;
    VolumeWatch volumeWatch_;
};
