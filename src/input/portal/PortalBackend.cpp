#include "input/portal/PortalBackend.h"

#include "base/Log.h"
#include "input/xkb/TextCharacters.h"

#include <algorithm>

namespace {
double bounded(double step) {
    return std::clamp(step, -PortalBackend::kMaxStep, PortalBackend::kMaxStep);
}
}  // namespace

PortalBackend::PortalBackend(QDBusConnection bus, QString restoreTokenPath, XKBLayoutNames layout)
    : bus_(std::move(bus)),
      restoreTokenPath_(std::move(restoreTokenPath)),
      layoutNames_(std::move(layout)) {}

PortalBackend::~PortalBackend() = default;

void PortalBackend::start() {
    if (const std::optional<XKBKeymap> keymap = ConfiguredLayout::compile(layoutNames_))
        keymap_.emplace(*keymap);
    session_ = std::make_unique<RemoteDesktopSession>(bus_, RestoreTokenFile(restoreTokenPath_));
    session_->setOnStateChange([this] { stateChanged(); });
}

void PortalBackend::requestAccess() {
    session_->start();
}

void PortalBackend::stateChanged() {
    const bool started = session_->state() == RemoteDesktopSession::State::Started;
    if (started) dropReported_ = false;
    if (started_.exchange(started) != started) emit trustChanged();
}

bool PortalBackend::ready() {
    if (started_) return true;
    if (session_->state() == RemoteDesktopSession::State::Idle) session_->start();
    if (!dropReported_)
        logLine(
            QStringLiteral("Input: no remote control session with the desktop; input is "
                           "dropped until the desktop allows it"));
    dropReported_ = true;
    return false;
}

void PortalBackend::postMove(PointerAction, QPointF, QPointF step) {
    if (!ready()) return;
    session_->pointerMotion(bounded(step.x()), bounded(step.y()));
}

void PortalBackend::postPointer(PointerAction action, QPointF, int) {
    if (action == PointerAction::Move || action == PointerAction::Drag) return;  // as steps
    if (!ready()) return;
    const bool left = action == PointerAction::LeftDown || action == PointerAction::LeftUp;
    const bool pressed = action == PointerAction::LeftDown || action == PointerAction::RightDown;
    session_->pointerButton(left ? kLeftButton : kRightButton, pressed);
}

void PortalBackend::postScroll(qint32 vertical, qint32 horizontal) {
    if (!ready()) return;
    // The portal's axes grow downward and to the right.
    session_->pointerAxis(-double(horizontal), -double(vertical), false);
    scrolled_ = true;
}

void PortalBackend::endScroll() {
    if (!scrolled_) return;
    scrolled_ = false;
    if (started_) session_->pointerAxis(0, 0, true);
}

bool PortalBackend::postKey(quint16 evdevCode, bool down) {
    if (!ready()) return false;
    session_->keyboardKeycode(evdevCode, down);
    return true;
}

bool PortalBackend::postLayoutKey(quint16 evdevCode, bool down) {
    // The desktop's layout may not be the configured one: the symbol types right on either.
    const xkb_keysym_t sym = keymap_ ? keymap_->keysym(evdevCode) : XKB_KEY_NoSymbol;
    if (sym == XKB_KEY_NoSymbol) return postKey(evdevCode, down);
    if (!ready()) return false;
    session_->keyboardKeysym(int(sym), down);
    return true;
}

void PortalBackend::typeText(const QString& text) {
    const QList<char32_t> characters = TextCharacters::of(text);
    if (!ready()) return;
    QList<char32_t> skipped;
    for (char32_t c : characters) {
        const xkb_keysym_t sym = TextCharacters::keysym(c);
        if (sym == XKB_KEY_NoSymbol) {
            skipped.append(c);
            continue;
        }
        session_->keyboardKeysym(int(sym), true);
        session_->keyboardKeysym(int(sym), false);
    }
    if (!skipped.isEmpty()) logLine(TextCharacters::skippedLine(skipped, characters.size()));
}

std::unique_ptr<KeySymbolSource> PortalBackend::keySymbols() {
    if (!keymap_) return nullptr;
    return std::make_unique<XKBKeymap>(*keymap_);
}
