// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/Router.h"

#include "base/Env.h"
#include "base/Log.h"
#include "input/Input.h"
#include "input/KeyNames.h"
#include "router/BinaryMessage.h"
#include "state/AppState.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>

namespace {
double numberOr(const QJsonObject& m, QLatin1String key, double fallback) {
    const QJsonValue v = m.value(key);
    return v.isDouble() ? v.toDouble() : fallback;
}

QString stringOr(const QJsonObject& m, QLatin1String key, const QString& fallback = {}) {
    const QJsonValue v = m.value(key);
    return v.isString() ? v.toString() : fallback;
}

bool boolOr(const QJsonObject& m, QLatin1String key, bool fallback) {
    const QJsonValue v = m.value(key);
    return v.isBool() ? v.toBool() : fallback;
}

// An integral JSON number (2 and 2.0 alike), held within int; anything else is 1.
int clickCount(const QJsonObject& m) {
    const double d = numberOr(m, QLatin1String("count"), 1);
    if (!std::isfinite(d) || d != std::trunc(d)) return 1;
    constexpr double lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    return int(std::clamp(d, lo, hi));
}

// Only an array made entirely of strings counts; otherwise no modifiers at all.
QStringList modifierNames(const QJsonObject& m) {
    const QJsonValue v = m.value(QLatin1String("mods"));
    if (!v.isArray()) return {};
    QStringList names;
    for (const QJsonValue& item : v.toArray()) {
        if (!item.isString()) return {};
        names.append(item.toString());
    }
    return names;
}

QString dump(const QJsonObject& m) {
    return QString::fromUtf8(QJsonDocument(m).toJson(QJsonDocument::Compact));
}

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Stale releases still let go: only these, when they press or act, are dropped.
bool mayDropWhenStale(const QString& type, const QJsonObject& m) {
    static const QStringList acting = {QStringLiteral("mv"), QStringLiteral("click"),
                                       QStringLiteral("scroll"), QStringLiteral("key")};
    if (type == QLatin1String("drag") || type == QLatin1String("mod"))
        return boolOr(m, QLatin1String("down"), false);
    return acting.contains(type);
}

// Plain decimal, the shortest that reads back as the same double, always with a fraction:
// 1.0, -2.5, 0.00001, 100000.0.
QString decimal(double d) {
    char buffer[400];  // the longest fixed form of a double is 309 digits and a sign
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) &&
        !text.contains(QLatin1Char('n')))
        text += QLatin1String(".0");
    return text;
}

// "muted" and "available" are for the page; the app reads only "value".
QJsonObject volumeMessage(const VolumeWatch::Reading& reading) {
    return {{QStringLiteral("t"), QStringLiteral("vol")},
            {QStringLiteral("value"), reading.percent},
            {QStringLiteral("muted"), reading.muted},
            {QStringLiteral("available"), reading.available}};
}
}  // namespace

Router::Options Router::Options::fromEnv(const Env& env) {
    return {env.dryRun, env.logInput};
}

Router::Router(AppState& state, Input& input, Options options)
    : state_(state),
      input_(input),
      options_(options),
      volumeWatch_([this](VolumeWatch::Answer answer) { readVolume(std::move(answer)); },
                   [this](const VolumeWatch::Reading& reading) {
                       volumeWatchers_.send(volumeMessage(reading));
                   },
                   [this] { return volumeWatchers_.any(); }) {}

Router::~Router() {
    volumeWatch_.stop();
    // A reading under way answers on the audio queue, into the watch.
    input_.audioQueue().sync([] {});
}

const QHash<QString, Router::Handler>& Router::commands() {
    static const QHash<QString, Handler> table = {
        {QStringLiteral("mv"), &Router::move},          {QStringLiteral("click"), &Router::click},
        {QStringLiteral("drag"), &Router::drag},        {QStringLiteral("scroll"), &Router::scroll},
        {QStringLiteral("text"), &Router::text},        {QStringLiteral("key"), &Router::key},
        {QStringLiteral("media"), &Router::media},      {QStringLiteral("vol"), &Router::volume},
        {QStringLiteral("getvol"), &Router::getVolume}, {QStringLiteral("ping"), &Router::ping},
        {QStringLiteral("mod"), &Router::modifier},
    };
    return table;
}

void Router::handleText(QByteArrayView utf8, const std::shared_ptr<ClientSession>& session) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(utf8.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return;
    handleJSON(doc.object(), session);
}

void Router::handleJSON(const QJsonObject& message, const std::shared_ptr<ClientSession>& session) {
    const QJsonValue t = message.value(QLatin1String("t"));
    if (!t.isString()) return;
    const QString type = t.toString();
    if (type == QLatin1String("hello")) return hello(message, session);
    if (type == QLatin1String("pair")) return pair(message, session);
    if (type == QLatin1String("unpair")) return unpair(message, session);
    if (!session->authed) {
        session->sendJSON({{QStringLiteral("t"), QStringLiteral("needpair")},
                           {QStringLiteral("name"), state_.displayName()}});
        return;
    }
    if (!stillValid(*session)) return;
    if (stale(type, message, *session)) return;
    if (options_.dryRun) return dryRunCommand(type, message, session);
    runCommand(type, message, session);
}

void Router::hello(const QJsonObject& message, const std::shared_ptr<ClientSession>& session) {
    const QJsonValue token = message.value(QLatin1String("token"));
    if (!token.isString() || !state_.isValidToken(token.toString())) {
        session->sendJSON({{QStringLiteral("t"), QStringLiteral("needpair")},
                           {QStringLiteral("name"), state_.displayName()}});
        return;
    }
    authenticate(session, token.toString());
    session->sendJSON(welcome(QStringLiteral("authok")));
}

void Router::pair(const QJsonObject& message, const std::shared_ptr<ClientSession>& session) {
    const QString code = stringOr(message, QLatin1String("code"));
    const PairingResult result = state_.checkPairingCode(code);
    if (result != PairingResult::Accepted) {
        session->sendJSON(badCodeReply());
        if (result == PairingResult::WrongCode)
            logWarning(QStringLiteral("Bad pairing code attempt"));
        return;
    }
    const QString token = state_.issueToken();
    authenticate(session, token);
    QJsonObject reply = welcome(QStringLiteral("paired"));
    reply.insert(QLatin1String("token"), token);
    session->sendJSON(reply);
    logLine(QStringLiteral("Client paired"));
}

void Router::unpair(const QJsonObject& message, const std::shared_ptr<ClientSession>& session) {
    const QJsonValue token = message.value(QLatin1String("token"));
    if (token.isString()) state_.revokeToken(token.toString());
    closeRevokedSessions();
    session->close();
}

void Router::authenticate(const std::shared_ptr<ClientSession>& session, const QString& token) {
    {
        std::lock_guard lock(bindingsMutex_);
        std::erase_if(bindings_, [&](const Binding& b) {
            const auto bound = b.session.lock();
            return !bound || bound == session;
        });
        bindings_.push_back({session, token});
    }
    if (!session->authed) {
        session->authed = true;
        session->counted = true;
        state_.clientConnected();
    }
    // The token may have been revoked since it was checked, before this session was bound.
    closeRevokedSessions(true);
}

bool Router::stillValid(const ClientSession& session) {
    closeRevokedSessions();
    return !session.revoked;
}

void Router::closeRevokedSessions(bool lookAnyway) {
    std::vector<std::shared_ptr<ClientSession>> revoked;
    {
        const quint64 revision = state_.tokenStore().revision();
        std::lock_guard lock(bindingsMutex_);
        if (revision == checkedRevision_ && !lookAnyway) return;
        checkedRevision_ = revision;
        std::erase_if(bindings_, [&](const Binding& b) {
            const auto bound = b.session.lock();
            if (bound && state_.isValidToken(b.token)) return false;
            if (bound) revoked.push_back(bound);
            return true;
        });
    }
    // Closed outside the lock: a transport may end the session, and call back, at once.
    for (const auto& session : revoked) {
        session->revoked = true;
        session->close();
    }
    if (!revoked.empty())
        logLine(
            QStringLiteral("Token no longer valid; closed %1 connection(s)").arg(revoked.size()));
}

void Router::sessionEnded(ClientSession& session) {
    volumeWatchers_.remove(session);
    // As a held button: nobody else knows to let go.
    for (const QString& name : std::exchange(session.heldModifiers, {}))
        if (!options_.dryRun) input_.holdModifier(name, false);
    if (!session.counted) return;
    session.counted = false;
    // A phone that vanishes mid-drag cannot release the button; nobody else will.
    if (state_.clientDisconnected() == 0 && !options_.dryRun) input_.releaseHeldButton();
}

void Router::throttle() {
    input_.throttle();
}

bool Router::holdBack(std::function<void()> resume) {
    return input_.holdBack(std::move(resume));
}

// While pairing is locked the reply says for how long, so that a page can count down
// instead of calling the right code wrong; the app reads only "t".
QJsonObject Router::badCodeReply() const {
    QJsonObject reply{{QStringLiteral("t"), QStringLiteral("badcode")}};
    if (const double left = state_.pairingLockoutLeft(); left > 0)
        reply.insert(QLatin1String("lockout"), int(std::ceil(left)));
    return reply;
}

bool Router::stale(const QString& type, const QJsonObject& message, ClientSession& session) {
    const QJsonValue ts = message.value(QLatin1String("ts"));
    if (!ts.isDouble()) return false;
    if (!mayDropWhenStale(type, message)) {
        session.clock.ageOf(ts.toDouble(), nowMs());
        return false;
    }
    return stale(ts.toDouble(), session);
}

bool Router::stale(std::optional<double> stampMs, ClientSession& session) {
    if (!stampMs) return false;
    const double now = nowMs();
    const double age = session.clock.ageOf(*stampMs, now);
    if (age <= PageClock::kStaleAfterMs) return false;
    // A frozen agent finds a burst of them: one line for the burst.
    if (now - lastStaleLogMs_.load() < 5000) return true;
    lastStaleLogMs_.store(now);
    logLine(QStringLiteral("Dropped input that came %1 s late (the agent or the network was "
                           "held up)")
                .arg(age / 1000, 0, 'f', 1));
    return true;
}

QJsonObject Router::welcome(const QString& type) const {
    return {{QStringLiteral("t"), type},
            {QStringLiteral("name"), state_.displayName()},
            {QStringLiteral("ax"), ax()},
            {QStringLiteral("version"), state_.version()}};
}

bool Router::ax() const {
    return input_.trusted();
}

QJsonObject Router::pongReply(const QJsonObject& request, bool ax) {
    QJsonObject reply{{QStringLiteral("t"), QStringLiteral("pong")}, {QStringLiteral("ax"), ax}};
    if (request.contains(QLatin1String("ts")))
        reply.insert(QLatin1String("ts"), request.value(QLatin1String("ts")));
    return reply;
}

void Router::dryRunCommand(const QString& type, const QJsonObject& message,
                           const std::shared_ptr<ClientSession>& session) {
    if (type == QLatin1String("ping")) session->sendJSON(pongReply(message, true));
    if (type == QLatin1String("getvol"))
        session->sendJSON(
            {{QStringLiteral("t"), QStringLiteral("vol")}, {QStringLiteral("value"), 50}});
    logCommand(QStringLiteral("input: %1 %2").arg(type, dump(message)));
}

void Router::runCommand(const QString& type, const QJsonObject& message,
                        const std::shared_ptr<ClientSession>& session) {
    if (const Handler handler = commands().value(type)) (this->*handler)(message, session);
    if (options_.logInput) logCommand(QStringLiteral("input: %1").arg(type));
}

void Router::handleBinary(QByteArrayView bytes, const std::shared_ptr<ClientSession>& session) {
    if (!session->authed || !stillValid(*session)) return;
    const std::optional<BinaryMessage> m = BinaryMessage::decode(bytes);
    if (!m || stale(m->stampMs, *session)) return;
    if (options_.dryRun) {
        logCommand(QStringLiteral("input(bin): op=%1 dx=%2 dy=%3")
                       .arg(m->op)
                       .arg(decimal(m->dx), decimal(m->dy)));
        return;
    }
    if (m->op == BinaryMessage::kScroll) input_.scroll(m->dx, m->dy);
    if (m->op == BinaryMessage::kMove) input_.moveBy(m->dx, m->dy);
}

void Router::move(const QJsonObject& m, const std::shared_ptr<ClientSession>&) {
    input_.moveBy(numberOr(m, QLatin1String("dx"), 0), numberOr(m, QLatin1String("dy"), 0));
}

void Router::click(const QJsonObject& m, const std::shared_ptr<ClientSession>&) {
    input_.click(boolOr(m, QLatin1String("right"), false), clickCount(m));
}

void Router::drag(const QJsonObject& m, const std::shared_ptr<ClientSession>&) {
    input_.dragState(boolOr(m, QLatin1String("down"), false));
}

void Router::scroll(const QJsonObject& m, const std::shared_ptr<ClientSession>&) {
    input_.scroll(numberOr(m, QLatin1String("dx"), 0), numberOr(m, QLatin1String("dy"), 0));
}

void Router::text(const QJsonObject& m, const std::shared_ptr<ClientSession>&) {
    input_.typeText(stringOr(m, QLatin1String("text")));
}

void Router::key(const QJsonObject& m, const std::shared_ptr<ClientSession>&) {
    input_.pressKey(stringOr(m, QLatin1String("name")), modifierNames(m));
}

void Router::modifier(const QJsonObject& m, const std::shared_ptr<ClientSession>& session) {
    const QString name = stringOr(m, QLatin1String("name")).toLower();
    const bool down = boolOr(m, QLatin1String("down"), false);
    // Only modifier names are kept: a session cannot grow the list with anything else.
    if (KeyNames::modifierKeyCodes({name}, KeyNames::CmdKey::Control).isEmpty() ||
        session->heldModifiers.contains(name) == down)
        return;
    if (down)
        session->heldModifiers.append(name);
    else
        session->heldModifiers.removeOne(name);
    input_.holdModifier(name, down);
}

void Router::media(const QJsonObject& m, const std::shared_ptr<ClientSession>&) {
    input_.mediaKey(stringOr(m, QLatin1String("name")));
}

void Router::volume(const QJsonObject& m, const std::shared_ptr<ClientSession>&) {
    const QJsonValue v = m.value(QLatin1String("value"));
    if (!v.isDouble() || std::isnan(v.toDouble())) return;
    // Truncated toward zero; far-out values are held where the 0..100 clamp still applies.
    const double percent = std::clamp(std::trunc(v.toDouble()), -1000.0, 1000.0);
    input_.setVolume(int(percent));
}

// Watching starts before the reading is asked for: a change made in between is sent after
// the answer, never lost.
void Router::getVolume(const QJsonObject& m, const std::shared_ptr<ClientSession>& session) {
    const QJsonValue watch = m.value(QLatin1String("watch"));
    if (watch.isBool()) volumeWatchers_.set(session, watch.toBool());
    readVolume([session](const VolumeWatch::Reading& reading) {
        session->sendJSON(volumeMessage(reading));
    });
}

void Router::readVolume(VolumeWatch::Answer answer) {
    input_.getVolume([answer = std::move(answer)](int percent, bool muted, bool readable) {
        answer({percent, muted, readable});
    });
}

void Router::ping(const QJsonObject& m, const std::shared_ptr<ClientSession>& session) {
    session->sendJSON(pongReply(m, ax()));
}
