// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/PortalBackend.h"

#include "base/Log.h"
#include "input/xkb/TextCharacters.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include <algorithm>

#include <linux/input-event-codes.h>

namespace {
const QString kIBus = QStringLiteral("org.freedesktop.IBus");

double bounded(double step) {
    return std::clamp(step, -PortalBackend::kMaxStep, PortalBackend::kMaxStep);
}
}  // namespace

void PortalBackend::availability(const QDBusConnection& bus, QObject* context,
                                 std::function<void(InputBackendAvailability)> answer) {
    RemoteDesktopSession::probe(bus, context, [answer](std::optional<uint> version) {
        answer(version ? InputBackendAvailability()
                       : QStringLiteral("no RemoteDesktop desktop portal answers"));
    });
}

PortalBackend::PortalBackend(QDBusConnection bus, QString restoreTokenPath, XKBLayoutNames layout,
                             QString waylandDisplay)
    : bus_(std::move(bus)),
      restoreTokenPath_(std::move(restoreTokenPath)),
      layoutNames_(std::move(layout)),
      waylandDisplay_(std::move(waylandDisplay)) {}

PortalBackend::~PortalBackend() = default;

void PortalBackend::start() {
    if (const std::optional<XKBKeymap> keymap = ConfiguredLayout::compile(layoutNames_)) {
        keymap_.emplace(*keymap);
        configuredLayout_ = DesktopLayout(keymap->keymap());
    }
    session_ = std::make_unique<RemoteDesktopSession>(bus_, RestoreTokenFile(restoreTokenPath_));
    connect(session_.get(), &RemoteDesktopSession::stateChanged, this, [this] { stateChanged(); });
    connect(session_.get(), &RemoteDesktopSession::eventTaken, this, [this] { feed(); });
    // Answered long before the session can start, which takes several calls.
    findDesktop();
    // Asked first: the desktop's dialog need not wait for the compositor's keymap.
    session_->start();
    followIBus();
    followDesktopKeymap();
}

void PortalBackend::findDesktop() {
    const QDBusMessage listNames = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    auto* query = new QDBusPendingCallWatcher(bus_.asyncCall(listNames), this);
    connect(query, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        desktop_ = PortalDesktop(
            PortalDesktop::fromBusNames(reply.isError() ? QStringList() : reply.value()));
        session_->setKeyPace(desktop_.keyPace());
        logLine(QStringLiteral("Input: the desktop portal serves %1").arg(desktop_.name()));
    });
}

void PortalBackend::followDesktopKeymap() {
    if (waylandDisplay_.isEmpty()) return;
    QString error;
    desktopKeymap_ = WaylandKeymap::connect(waylandDisplay_, &error);
    if (!desktopKeymap_)
        logLine(
            QStringLiteral("Keyboard: %1; text is typed through the configured layout").arg(error));
}

void PortalBackend::followIBus() {
    auto* watcher =
        new QDBusServiceWatcher(kIBus, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                ibusRuns_ = !owner.isEmpty();
                ibusChangeSeen_ = true;
            });
    // Whether it runs already; a change seen meanwhile is newer than the answer.
    QDBusMessage hasOwner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    hasOwner.setArguments({kIBus});
    auto* query = new QDBusPendingCallWatcher(bus_.asyncCall(hasOwner), this);
    connect(query, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<bool> reply = *w;
        if (!ibusChangeSeen_ && !reply.isError()) ibusRuns_ = reply.value();
    });
}

void PortalBackend::requestAccess() {
    session_->start();
}

void PortalBackend::stateChanged() {
    const RemoteDesktopSession::State state = session_->state();
    const bool started = state == RemoteDesktopSession::State::Started;
    if (started) dropReported_ = false;
    if (!started) dropWaiting();
    if (started_.exchange(started) != started) emit trustChanged();
    if (startReported_ || (!started && state != RemoteDesktopSession::State::Ended)) return;
    startReported_ = true;
    reportStart(started);
}

bool PortalBackend::canPost() {
    if (started_) return true;
    if (session_->state() == RemoteDesktopSession::State::Idle) session_->start();
    if (!dropReported_)
        logLine(
            QStringLiteral("Input: no remote control session with the desktop; input is "
                           "dropped until the desktop allows it"));
    dropReported_ = true;
    return false;
}

void PortalBackend::post(std::function<void()> make) {
    waiting_.push_back(std::move(make));
    feed();
}

void PortalBackend::feed() {
    while (!waiting_.empty() && started_ && session_->waiting() < kEventsAhead) {
        const std::function<void()> make = std::move(waiting_.front());
        waiting_.pop_front();
        make();
    }
    setWaiting(int(waiting_.size()));
}

void PortalBackend::dropWaiting() {
    if (waiting_.empty()) return;
    logWarning(QStringLiteral("Input: %1 input operations dropped with the remote control session")
                   .arg(waiting_.size()));
    waiting_.clear();
    setWaiting(0);
}

void PortalBackend::postMove(PointerAction, QPointF, QPointF step) {
    if (!canPost()) return;
    post([this, dx = bounded(step.x()), dy = bounded(step.y())] {
        session_->pointerMotion(dx, dy);
    });
}

void PortalBackend::postPointer(PointerAction action, QPointF, int) {
    if (action == PointerAction::Move || action == PointerAction::Drag) return;  // as steps
    if (!canPost()) return;
    const bool left = action == PointerAction::LeftDown || action == PointerAction::LeftUp;
    const bool pressed = action == PointerAction::LeftDown || action == PointerAction::RightDown;
    post([this, left, pressed] { session_->pointerButton(left ? BTN_LEFT : BTN_RIGHT, pressed); });
}

void PortalBackend::postScroll(qint32 vertical, qint32 horizontal) {
    if (!canPost()) return;
    // The portal's axes grow downward and to the right.
    const double dx = -double(horizontal) * kAxisUnitsPerPixel;
    const double dy = -double(vertical) * kAxisUnitsPerPixel * desktop_.verticalAxisSign();
    scrolledVertically_ = scrolledVertically_ || vertical != 0;
    scrolledHorizontally_ = scrolledHorizontally_ || horizontal != 0;
    post([this, dx, dy] { session_->pointerAxis(dx, dy, false); });
}

void PortalBackend::endScroll() {
    if (!started_ || (!scrolledVertically_ && !scrolledHorizontally_)) return;
    if (!desktop_.endsScrollByDiscreteStep()) {
        post([this] { session_->pointerAxis(0, 0, true); });
    } else {
        if (scrolledVertically_) post([this] { session_->pointerAxisDiscrete(0, 0); });
        if (scrolledHorizontally_) post([this] { session_->pointerAxisDiscrete(1, 0); });
    }
    scrolledVertically_ = scrolledHorizontally_ = false;
}

bool PortalBackend::postKey(quint16 evdevCode, bool down) {
    if (!canPost()) return false;
    post([this, evdevCode, down] { session_->keyboardKeycode(evdevCode, down); });
    return true;
}

bool PortalBackend::postLayoutKey(quint16 evdevCode, bool down) {
    // The desktop's layout may not be the configured one: the symbol types right on either.
    const xkb_keysym_t sym = keymap_ ? keymap_->keysym(evdevCode) : XKB_KEY_NoSymbol;
    if (sym == XKB_KEY_NoSymbol) return postKey(evdevCode, down);
    if (!canPost()) return false;
    post([this, sym, down] { pressSymbol(sym, down); });
    return true;
}

void PortalBackend::typeText(const QString& text) {
    const QList<char32_t> characters = TextCharacters::of(text);
    if (!canPost()) return;
    QList<char32_t> skipped;
    for (char32_t c : characters) {
        if (TextCharacters::keysym(c) == XKB_KEY_NoSymbol)
            skipped.append(c);
        else
            post([this, c] { typeCharacter(c); });
    }
    if (!skipped.isEmpty()) logLine(TextCharacters::skippedLine(skipped, characters.size()));
}

void PortalBackend::typeCharacter(char32_t character) {
    if (desktopKeymap_) desktopKeymap_->refresh();
    const xkb_keysym_t sym = TextCharacters::keysym(character);
    if (layout().types(sym)) {
        typeSymbol(sym);
        return;
    }
    // IBus, when it runs, takes the sequence before the program.
    typeByCode(character, ibusRuns_ ? UnicodeEntry::Reader::IBus : UnicodeEntry::Reader::Gtk);
}

void PortalBackend::typeSymbol(xkb_keysym_t sym) {
    pressSymbol(sym, true);
    pressSymbol(sym, false);
}

// The level's modifier is held around the key alone, so that a release always follows.
void PortalBackend::pressSymbol(xkb_keysym_t sym, bool down) {
    const auto place = desktop_.typesByKeycode() ? layout().place(sym) : std::nullopt;
    const int modifier =
        !place || place->level == 0
            ? 0
            : layout().key(place->level == 1 ? XKB_KEY_Shift_L : XKB_KEY_ISO_Level3_Shift, 0);
    if (!place || (place->level > 0 && !modifier)) {
        session_->keyboardKeysym(int(sym), down);
        return;
    }
    if (modifier && down) session_->keyboardKeycode(modifier, true);
    session_->keyboardKeycode(place->evdevCode, down);
    if (modifier && down) session_->keyboardKeycode(modifier, false);
}

const DesktopLayout& PortalBackend::layout() const {
    if (desktopKeymap_ && desktopKeymap_->layout().known()) return desktopKeymap_->layout();
    return configuredLayout_;
}

void PortalBackend::typeByCode(char32_t character, UnicodeEntry::Reader reader) {
    if (!codeEntryReported_)
        logLine(
            QStringLiteral("Text: characters the desktop's layout lacks are typed as "
                           "Ctrl+Shift+U and their code, which GTK and IBus programs take"));
    codeEntryReported_ = true;
    using Kind = UnicodeEntry::Step::Kind;
    for (const UnicodeEntry::Step& step : UnicodeEntry::steps(character, layout(), reader)) {
        if (step.kind == Kind::Keycode) session_->keyboardKeycode(step.value, step.pressed);
        if (step.kind == Kind::Keysym) session_->keyboardKeysym(step.value, step.pressed);
        if (step.kind == Kind::Pause) session_->pause(step.value);
    }
}

std::unique_ptr<KeySymbolSource> PortalBackend::keySymbols() {
    if (!keymap_) return nullptr;
    return std::make_unique<XKBKeymap>(*keymap_);
}
