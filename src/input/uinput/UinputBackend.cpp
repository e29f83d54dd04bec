// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/uinput/UinputBackend.h"

#include "base/Log.h"
#include "input/uinput/UinputDevice.h"
#include "input/xkb/KeyStrokePlanner.h"
#include "input/xkb/TextCharacters.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <unistd.h>

namespace {
input_event inputEvent(quint16 type, quint16 code, qint32 value) {
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

// Codes the device was created with (UinputDevice): every key up to 255.
bool deviceHasKey(quint16 code) {
    return code >= KEY_ESC && code <= 255;
}
}  // namespace

InputBackendAvailability UinputBackend::availability() {
    if (UinputDevice::writable()) return std::nullopt;
    return QStringLiteral("%1 is not writable").arg(QLatin1String(UinputDevice::kPath));
}

UinputBackend::UinputBackend(DeviceFactory createDevice, XKBLayoutNames layout)
    : createDevice_(std::move(createDevice)), layoutNames_(std::move(layout)) {}

// Closing the device destroys it; the kernel releases whatever it still held down.
UinputBackend::~UinputBackend() = default;

void UinputBackend::start() {
    keymap_ = ConfiguredLayout::compile(layoutNames_);
    // Made here, so that it runs on the input queue.
    reopenTimer_ = std::make_unique<QTimer>();
    reopenTimer_->setSingleShot(true);
    reopenTimer_->setInterval(kReopenMs);
    QObject::connect(reopenTimer_.get(), &QTimer::timeout, reopenTimer_.get(), [this] {
        if (!device_.valid() && !openDevice()) reopenTimer_->start();
    });
    reportStart(openDevice());
}

void UinputBackend::requestAccess() {
    if (!device_.valid()) openDevice();
}

void UinputBackend::setTrusted(bool trusted) {
    if (trusted_.exchange(trusted) != trusted) emit trustChanged();
}

bool UinputBackend::openDevice() {
    QString error;
    UniqueFd device = createDevice_(&error);
    if (!device.valid()) {
        if (!openFailureReported_)
            logLine(
                QStringLiteral("uinput: %1; input cannot be posted (see the documentation on the "
                               "udev rule)")
                    .arg(error));
        openFailureReported_ = true;
        return false;
    }
    openFailureReported_ = false;
    device_ = std::move(device);
    logLine(QStringLiteral("Input: %1 a uinput virtual device (layout \"%2\")")
                .arg(everOpened_ ? QStringLiteral("posting again through")
                                 : QStringLiteral("posting through"),
                     layoutNames_.layout.isEmpty() ? QStringLiteral("us") : layoutNames_.layout));
    everOpened_ = true;
    setTrusted(true);
    return true;
}

// The phone must not be told that input works while it does not.
void UinputBackend::dropDevice(const QString& why) {
    logLine(QStringLiteral("uinput: the virtual device stopped taking events (%1); making a new "
                           "one every %2 ms")
                .arg(why)
                .arg(kReopenMs));
    device_.reset();
    setTrusted(false);
    if (reopenTimer_) reopenTimer_->start();
}

bool UinputBackend::send(QList<input_event> events) {
    if (!device_.valid()) return false;
    events.append(inputEvent(EV_SYN, SYN_REPORT, 0));
    const auto* bytes = reinterpret_cast<const char*>(events.constData());
    const size_t size = size_t(events.size()) * sizeof(input_event);
    ssize_t written;
    do {
        written = ::write(device_.get(), bytes, size);
    } while (written < 0 && errno == EINTR);
    if (written == ssize_t(size)) return true;
    dropDevice(written < 0 ? QString::fromLocal8Bit(strerror(errno))
                           : QStringLiteral("short write"));
    return false;
}

qint32 UinputBackend::wholePixels(double& carry, double step) {
    carry = std::clamp(carry + step, -kMaxStep, kMaxStep);
    const double whole = std::round(carry);
    carry -= whole;
    return qint32(whole);
}

void UinputBackend::postMove(PointerAction, QPointF, QPointF step) {
    const qint32 dx = wholePixels(carryX_, step.x());
    const qint32 dy = wholePixels(carryY_, step.y());
    QList<input_event> events;
    if (dx) events.append(inputEvent(EV_REL, REL_X, dx));
    if (dy) events.append(inputEvent(EV_REL, REL_Y, dy));
    if (!events.isEmpty()) send(events);
}

void UinputBackend::postPointer(PointerAction action, QPointF, int) {
    switch (action) {
        case PointerAction::Move:
        case PointerAction::Drag:
            break;  // moves come as steps, through postMove
        case PointerAction::LeftDown:
        case PointerAction::LeftUp:
            send({inputEvent(EV_KEY, BTN_LEFT, action == PointerAction::LeftDown)});
            break;
        case PointerAction::RightDown:
        case PointerAction::RightUp:
            send({inputEvent(EV_KEY, BTN_RIGHT, action == PointerAction::RightDown)});
            break;
    }
}

void UinputBackend::postScroll(qint32 vertical, qint32 horizontal) {
    // The kernel's wheel turns positive upward, its horizontal wheel to the right.
    const HiResWheel::Step v = verticalWheel_.add(vertical);
    const HiResWheel::Step h = horizontalWheel_.add(-qint64(horizontal));
    QList<input_event> events;
    if (v.units) events.append(inputEvent(EV_REL, REL_WHEEL_HI_RES, v.units));
    if (v.notches) events.append(inputEvent(EV_REL, REL_WHEEL, v.notches));
    if (h.units) events.append(inputEvent(EV_REL, REL_HWHEEL_HI_RES, h.units));
    if (h.notches) events.append(inputEvent(EV_REL, REL_HWHEEL, h.notches));
    if (!events.isEmpty()) send(events);
}

bool UinputBackend::postKey(quint16 evdevCode, bool down) {
    if (!deviceHasKey(evdevCode)) return false;
    return send({inputEvent(EV_KEY, evdevCode, down)});
}

void UinputBackend::typeText(const QString& text) {
    const QList<char32_t> characters = TextCharacters::of(text);
    if (!device_.valid() || !keymap_) {
        logLine(QStringLiteral("Text: %1; %2 characters dropped")
                    .arg(!device_.valid() ? QStringLiteral("no uinput device")
                                          : QStringLiteral("no keyboard layout"))
                    .arg(characters.size()));
        return;
    }
    // The desktop's modifier state cannot be read: typing starts from a keyboard at rest.
    const KeyStrokePlanner planner(*keymap_, KeyboardState{});
    QList<char32_t> skipped;
    for (char32_t c : characters) {
        const std::optional<KeyStroke> stroke = planner.plan(TextCharacters::onKey(c), {});
        if (!stroke) {
            skipped.append(c);
            continue;
        }
        stroke->replay(
            [this](xkb_keycode_t key, bool down) { postKey(XKBKeymap::toEvdev(key), down); });
    }
    if (!skipped.isEmpty()) logLine(TextCharacters::skippedLine(skipped, characters.size()));
}

std::unique_ptr<KeySymbolSource> UinputBackend::keySymbols() {
    if (!keymap_) return nullptr;
    return std::make_unique<XKBKeymap>(*keymap_);
}
