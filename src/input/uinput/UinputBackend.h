// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/UniqueFd.h"
#include "input/InputBackend.h"
#include "input/uinput/HiResWheel.h"
#include "input/xkb/ConfiguredLayout.h"

#include <QList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include <linux/input.h>

// Input through the kernel: one virtual mouse-and-keyboard (uinput) that Wayland compositors,
// X servers and the console all read like a real one. The pointer moves relatively, so its
// position and the displays stay the window system's business: each move is posted as the
// step asked for. Characters are typed on the keys of the configured layout; "ax" is true
// while the device takes events. A device that stops taking them is dropped, "ax" turns
// false, and a new one is made every kReopenMs until one works.
class UinputBackend : public InputBackend {
public:
    // Creates the device; returns the descriptor its events are written to, or none and why.
    using DeviceFactory = std::function<UniqueFd(QString* error)>;

    static constexpr const char* kName = "uinput";
    // One move never goes further than this many pixels on an axis.
    static constexpr double kMaxStep = 32767;
    static constexpr int kReopenMs = 1000;

    static InputBackendAvailability availability();

    UinputBackend(DeviceFactory createDevice, XKBLayoutNames layout);
    ~UinputBackend() override;

    QString name() const override { return QLatin1String(kName); }
    void start() override;
    bool trusted() const override { return trusted_.load(); }
    void requestAccess() override;

    std::optional<QPointF> cursorLocation() override { return std::nullopt; }
    QList<QRectF> displayBounds() override { return {}; }
    void postMove(PointerAction action, QPointF at, QPointF step) override;
    void postPointer(PointerAction action, QPointF at, int clickState) override;
    void postScroll(qint32 vertical, qint32 horizontal) override;
    bool postKey(quint16 evdevCode, bool down) override;
    void typeText(const QString& text) override;
    std::unique_ptr<KeySymbolSource> keySymbols() override;

private:
    bool openDevice();
    void dropDevice(const QString& why);
    void setTrusted(bool trusted);
    // Writes the events as one group, closed by a SYN_REPORT.
    bool send(QList<input_event> events);
    static qint32 wholePixels(double& carry, double step);

    const DeviceFactory createDevice_;
    const XKBLayoutNames layoutNames_;
    std::optional<XKBKeymap> keymap_;
    UniqueFd device_;
    std::atomic<bool> trusted_{false};
    std::unique_ptr<QTimer> reopenTimer_;
    bool openFailureReported_ = false;
    bool everOpened_ = false;
    // Fractions of a pixel not yet moved.
    double carryX_ = 0, carryY_ = 0;
    HiResWheel verticalWheel_, horizontalWheel_;
};
