// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/WlrootsBackend.h"

#include "base/Log.h"
#include "input/wlroots/VirtualKeyboard.h"
#include "input/wlroots/VirtualPointer.h"
#include "input/wlroots/WaylandTextTyper.h"
#include "input/wlroots/WlrootsConnection.h"
#include "input/xkb/TextCharacters.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <algorithm>

#include <linux/input-event-codes.h>

namespace {
double bounded(double step) {
    return std::clamp(step, -WlrootsBackend::kMaxStep, WlrootsBackend::kMaxStep);
}
}  // namespace

InputBackendAvailability WlrootsBackend::availability(const QString& waylandDisplay) {
    if (waylandDisplay.isEmpty()) return QStringLiteral("no Wayland session");
    return WlrootsConnection::virtualInputMissing(waylandDisplay);
}

WlrootsBackend::WlrootsBackend(QString displayName, XKBLayoutNames layout)
    : displayName_(std::move(displayName)), layoutNames_(std::move(layout)) {}

WlrootsBackend::~WlrootsBackend() {
    disconnect();
}

void WlrootsBackend::start() {
    layout_ = ConfiguredLayout::compile(layoutNames_);
    reportStart(connectToCompositor());
}

void WlrootsBackend::requestAccess() {
    if (!wayland_) connectToCompositor();
}

void WlrootsBackend::setTrusted(bool trusted) {
    if (trusted_.exchange(trusted) != trusted) emit trustChanged();
}

bool WlrootsBackend::connectToCompositor() {
    QString error;
    wayland_ = WlrootsConnection::open(displayName_, &error);
    if (wayland_ && !createDevices(&error)) disconnect();
    if (!wayland_) {
        if (!failureReported_)
            logLine(QStringLiteral("Wayland: %1; input cannot be posted").arg(error));
        failureReported_ = true;
        return false;
    }
    failureReported_ = false;
    wayland_->watch(this, [this] { connectionLost(); });
    logLine(QStringLiteral("Input: posting through the virtual pointer and keyboard of Wayland "
                           "display %1 (layout \"%2\")")
                .arg(wayland_->name(),
                     layoutNames_.layout.isEmpty() ? QStringLiteral("us") : layoutNames_.layout));
    setTrusted(true);
    return true;
}

bool WlrootsBackend::createDevices(QString* error) {
    if (!wayland_->offersVirtualInput()) {
        *error = QStringLiteral(
                     "the compositor of display %1 offers no virtual pointer and "
                     "keyboard (a wlroots compositor such as sway does)")
                     .arg(wayland_->name());
        return false;
    }
    pointer_ =
        std::make_unique<VirtualPointer>(zwlr_virtual_pointer_manager_v1_create_virtual_pointer(
            wayland_->pointerManager(), wayland_->seat()));
    keyboard_ =
        std::make_unique<VirtualKeyboard>(zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
            wayland_->keyboardManager(), wayland_->seat()));
    if (layout_ && !keyboard_->setKeymap(*layout_, error)) {
        *error = QStringLiteral("cannot hand the keymap to the compositor: ") + *error;
        return false;
    }
    // A compositor that refuses the devices says so now.
    if (wayland_->roundtrip()) return true;
    *error = wayland_->failure();
    return false;
}

void WlrootsBackend::connectionLost() {
    if (!wayland_ || !wayland_->lost()) return;
    logLine(QStringLiteral("Wayland: %1; input cannot be posted").arg(wayland_->failure()));
    failureReported_ = true;
    disconnect();
    setTrusted(false);
}

void WlrootsBackend::disconnect() {
    keyboard_.reset();
    pointer_.reset();
    wayland_.reset();
}

bool WlrootsBackend::usable() const {
    return wayland_ && !wayland_->lost() && pointer_;
}

bool WlrootsBackend::flush() {
    return wayland_ && wayland_->flush();
}

QList<QRectF> WlrootsBackend::displayBounds() {
    return usable() ? wayland_->outputRects() : QList<QRectF>();
}

void WlrootsBackend::postMove(PointerAction, QPointF, QPointF step) {
    if (!usable()) return;
    pointer_->move(QPointF(bounded(step.x()), bounded(step.y())));
    flush();
}

void WlrootsBackend::postPointer(PointerAction action, QPointF, int) {
    if (action == PointerAction::Move || action == PointerAction::Drag) return;  // as steps
    if (!usable()) return;
    const bool left = action == PointerAction::LeftDown || action == PointerAction::LeftUp;
    const bool pressed = action == PointerAction::LeftDown || action == PointerAction::RightDown;
    pointer_->button(left ? BTN_LEFT : BTN_RIGHT, pressed);
    flush();
}

void WlrootsBackend::postScroll(qint32 vertical, qint32 horizontal) {
    if (!usable()) return;
    // Wayland's axes grow downward and to the right.
    pointer_->scroll(-double(vertical), -double(horizontal));
    flush();
}

void WlrootsBackend::endScroll() {
    if (!usable()) return;
    pointer_->stopScroll();
    flush();
}

bool WlrootsBackend::postKey(quint16 evdevCode, bool down) {
    if (!usable() || !keyboard_->keymap()) return false;
    const xkb_keycode_t key = XKBKeymap::fromEvdev(evdevCode);
    if (!keyboard_->keymap()->hasKey(key)) return false;
    keyboard_->key(key, down);
    return flush();
}

void WlrootsBackend::typeText(const QString& text) {
    const QList<char32_t> characters = TextCharacters::of(text);
    if (!usable() || !layout_) {
        logLine(QStringLiteral("Text: %1; %2 characters dropped")
                    .arg(usable() ? QStringLiteral("no keyboard layout")
                                  : QStringLiteral("no connection to the compositor"))
                    .arg(characters.size()));
        return;
    }
    WaylandTextTyper typer(*keyboard_, *layout_, [this] { return flush(); });
    const QList<char32_t> skipped = typer.type(characters);
    if (!skipped.isEmpty() && usable())
        logLine(TextCharacters::skippedLine(skipped, characters.size()));
}

std::unique_ptr<KeySymbolSource> WlrootsBackend::keySymbols() {
    if (!layout_) return nullptr;
    return std::make_unique<XKBKeymap>(*layout_);
}
