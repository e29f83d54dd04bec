// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/x11/X11Backend.h"

#include "base/Log.h"
#include "input/x11/X11Connection.h"
#include "input/x11/X11TextTyper.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <xkbcommon/xkbcommon-x11.h>

namespace {
constexpr unsigned kLeftButton = 1, kRightButton = 3;
constexpr unsigned kWheelUp = 4, kWheelDown = 5, kWheelLeft = 6, kWheelRight = 7;

// Root coordinates travel as 16-bit numbers.
int coordinate(double value) {
    if (!std::isfinite(value)) return 0;
    return int(std::lround(std::clamp(value, -32768.0, 32767.0)));
}
}  // namespace

InputBackendAvailability X11Backend::availability(const QString& x11Display,
                                                  const QString& waylandDisplay) {
    if (!waylandDisplay.isEmpty()) return QStringLiteral("Wayland session");
    if (x11Display.isEmpty()) return QStringLiteral("no X11 session: DISPLAY is not set");
    return std::nullopt;
}

X11Backend::X11Backend(QString displayName) : displayName_(std::move(displayName)) {}

X11Backend::~X11Backend() {
    typer_.reset();  // puts remapped keys back while the connection still exists
    x_.reset();
    reconnectTimer_.reset();
    keymap_.reset();
    if (xkb_) xkb_context_unref(xkb_);
}

void X11Backend::start() {
    reconnectTimer_ = std::make_unique<QTimer>();
    reconnectTimer_->setSingleShot(true);
    reconnectTimer_->setInterval(kReconnectMs);
    connect(reconnectTimer_.get(), &QTimer::timeout, this, [this] {
        if (!x_ && !connectToServer()) scheduleReconnect();
    });
    xkb_ = xkb_context_new(
        xkb_context_flags(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    // Remapped keys must not outlive the process; the owner of Input never destroys it.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(
            app, &QCoreApplication::aboutToQuit, this,
            [this] {
                if (typer_) typer_->restoreKeys();
            },
            Qt::BlockingQueuedConnection);
    if (!connectToServer()) scheduleReconnect();
    reportStart(trusted());
}

void X11Backend::requestAccess() {
    if (!x_ && !connectToServer()) scheduleReconnect();
}

void X11Backend::setTrusted(bool trusted) {
    if (trusted_.exchange(trusted) != trusted) emit trustChanged();
}

bool X11Backend::connectToServer() {
    QString error;
    x_ = X11Connection::open(displayName_, &error);
    if (!x_) {
        if (!failureReported_)
            logLine(
                QStringLiteral("X11: %1; trying again every %2 ms").arg(error).arg(kReconnectMs));
        failureReported_ = true;
        return false;
    }
    failureReported_ = false;
    x_->watch(
        this, [this] { readEvents(); }, [this] { connectionLost(); });
    Display* display = x_->display();
    if (x_->xkbEventType() >= 0) {
        const unsigned long mapChanges = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(display, XkbUseCoreKbd, mapChanges, mapChanges);
        XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask,
                              XkbGroupStateMask);
    } else {
        logLine(QStringLiteral("X11: display %1 has no XKB extension; keys by character and "
                               "text cannot be typed")
                    .arg(x_->name()));
    }
    typer_ = std::make_unique<X11TextTyper>(*x_);
    const bool layoutChanged = refreshKeymap();
    if (!x_->hasXTest())
        logLine(QStringLiteral("X11: display %1 has no XTEST extension; input cannot be posted")
                    .arg(x_->name()));
    setTrusted(x_->hasXTest() && !x_->lost());
    logLine(QStringLiteral("%1 X11 display %2 (XTEST %3)")
                .arg(everConnected_ ? QStringLiteral("Input: connected again to")
                                    : QStringLiteral("Input: posting to"),
                     x_->name(), x_->hasXTest() ? x_->xtestVersion() : QStringLiteral("none")));
    // The layout may have changed while the server was away.
    if (everConnected_ && layoutChanged) emit this->layoutChanged();
    everConnected_ = true;
    return true;
}

void X11Backend::connectionLost() {
    if (!x_) return;
    setTrusted(false);
    logLine(QStringLiteral("X11: lost the connection to display %1; trying again every %2 ms")
                .arg(x_->name())
                .arg(kReconnectMs));
    typer_->forgetKeys();
    typer_.reset();
    x_.reset();
    heldElsewhere_.clear();
    keymapStale_ = false;
    failureReported_ = true;
    scheduleReconnect();
}

void X11Backend::scheduleReconnect() {
    if (reconnectTimer_) reconnectTimer_->start();
}

bool X11Backend::usable() const {
    return x_ && !x_->lost();
}

void X11Backend::readEvents() {
    std::optional<xkb_layout_index_t> group;
    XEvent event;
    while (usable() && x_->nextEvent(&event)) {
        if (event.type != x_->xkbEventType()) continue;
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (xkb.any.xkb_type == XkbNewKeyboardNotify || xkb.any.xkb_type == XkbMapNotify)
            keymapStale_ = true;
        else if (xkb.any.xkb_type == XkbStateNotify && (xkb.state.changed & XkbGroupStateMask))
            group = xkb.state.group;
    }
    bool changed = false;
    if (keymapStale_) {
        changed = refreshKeymap();
    } else if (group && keymap_ && *group != keymap_->group()) {
        keymap_ = keymap_->inGroup(*group);
        changed = true;
    }
    if (changed) emit layoutChanged();
}

bool X11Backend::refreshKeymap() {
    keymapStale_ = false;
    if (!usable() || !xkb_ || x_->xkbDeviceId() < 0) return false;
    XkbStateRec state{};
    XkbGetState(x_->display(), XkbUseCoreKbd, &state);
    std::optional<XKBKeymap> fresh =
        XKBKeymap::adopt(xkb_x11_keymap_new_from_device(xkb_, x_->xcb(), x_->xkbDeviceId(),
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS),
                         state.group);
    if (!fresh) {
        if (!x_->lost())
            logLine(
                QStringLiteral("X11: cannot read the keyboard map of display %1").arg(x_->name()));
        return false;
    }
    QByteArray description = fresh->description();
    const bool changed =
        !keymap_ || keymap_->group() != fresh->group() || keymapDescription_ != description;
    keymap_ = std::move(fresh);
    keymapDescription_ = std::move(description);
    return changed;
}

std::optional<QPointF> X11Backend::cursorLocation() {
    if (!usable()) return std::nullopt;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    // False when the pointer is on another screen of the display.
    if (!XQueryPointer(x_->display(), x_->root(), &root, &child, &rootX, &rootY, &x, &y, &mask))
        return std::nullopt;
    if (x_->lost()) return std::nullopt;
    return QPointF(rootX, rootY);
}

QList<QRectF> X11Backend::displayBounds() {
    if (!usable()) return {};
    Display* display = x_->display();
    QList<QRectF> bounds;
    if (x_->hasRandR()) {
        int count = 0;
        XRRMonitorInfo* monitors = XRRGetMonitors(display, x_->root(), True, &count);
        for (int i = 0; monitors && i < count; ++i)
            bounds.append(
                QRectF(monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height));
        if (monitors) XRRFreeMonitors(monitors);
    }
    if (bounds.isEmpty() && !x_->lost())
        bounds.append(QRectF(0, 0, DisplayWidth(display, x_->screen()),
                             DisplayHeight(display, x_->screen())));
    return bounds;
}

void X11Backend::postPointer(PointerAction action, QPointF at, int) {
    if (!usable()) return;
    Display* display = x_->display();
    switch (action) {
        case PointerAction::Move:
        case PointerAction::Drag:
            XTestFakeMotionEvent(display, x_->screen(), coordinate(at.x()), coordinate(at.y()),
                                 CurrentTime);
            break;
        case PointerAction::LeftDown:
        case PointerAction::LeftUp:
            XTestFakeButtonEvent(display, kLeftButton, action == PointerAction::LeftDown,
                                 CurrentTime);
            break;
        case PointerAction::RightDown:
        case PointerAction::RightUp:
            XTestFakeButtonEvent(display, kRightButton, action == PointerAction::RightDown,
                                 CurrentTime);
            break;
    }
    x_->flush();
}

void X11Backend::postScroll(qint32 vertical, qint32 horizontal) {
    if (!usable()) return;
    const int up = verticalWheel_.add(vertical);
    const int left = horizontalWheel_.add(horizontal);
    clickWheel(up > 0 ? kWheelUp : kWheelDown, std::abs(up));
    clickWheel(left > 0 ? kWheelLeft : kWheelRight, std::abs(left));
    x_->flush();
}

void X11Backend::clickWheel(unsigned button, int clicks) {
    for (int i = 0; i < clicks; ++i) {
        XTestFakeButtonEvent(x_->display(), button, True, CurrentTime);
        XTestFakeButtonEvent(x_->display(), button, False, CurrentTime);
    }
}

bool X11Backend::postKey(quint16 evdevCode, bool down) {
    if (!usable()) return false;
    const unsigned key = XKBKeymap::fromEvdev(evdevCode);
    int first = 0, last = 0;
    XDisplayKeycodes(x_->display(), &first, &last);
    if (key < unsigned(first) || key > unsigned(last)) return false;
    if (keymap_ && keymap_->isModifierKey(key)) {
        if (down && keyIsDown(key)) {
            heldElsewhere_.insert(key);
            return true;
        }
        if (!down && heldElsewhere_.remove(key)) return true;
    }
    XTestFakeKeyEvent(x_->display(), key, down, CurrentTime);
    x_->flush();
    return true;
}

bool X11Backend::keyIsDown(unsigned key) const {
    char keys[32] = {};
    XQueryKeymap(x_->display(), keys);
    return key < 256 && (keys[key / 8] & (1 << (key % 8)));
}

void X11Backend::typeText(const QString& text) {
    if (!usable()) {
        logLine(QStringLiteral("Text: no X11 connection; %1 characters dropped")
                    .arg(text.toUcs4().size()));
        return;
    }
    readEvents();  // a layout switch made a moment ago counts
    if (!keymap_) {
        logLine(QStringLiteral("Text: no keyboard map on display %1; %2 characters dropped")
                    .arg(x_->name())
                    .arg(text.toUcs4().size()));
        return;
    }
    typer_->type(text, *keymap_);
}

std::unique_ptr<KeySymbolSource> X11Backend::keySymbols() {
    if (usable()) readEvents();
    if (!keymap_) return nullptr;
    return std::make_unique<XKBKeymap>(*keymap_);
}
