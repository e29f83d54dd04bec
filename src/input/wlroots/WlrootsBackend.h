// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/InputBackend.h"
#include "input/xkb/ConfiguredLayout.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class VirtualKeyboard;
class VirtualPointer;
class WlrootsConnection;

// Input on wlroots compositors (sway, Hyprland, river, labwc, Wayfire) through the virtual
// pointer and virtual keyboard they offer their clients: nothing to grant, no device to open.
// The pointer cannot be read: each move is posted as the step asked for, and the compositor
// keeps the pointer on its outputs, whose rectangles it tells us. Keys go through a keymap we
// upload, the configured layout's; text that needs characters the layout lacks is typed
// through a keymap that adds them (WaylandTextTyper). "ax" is true while the compositor has
// our devices; one that refuses them or goes away turns it false, and the menu asks again.
class WlrootsBackend : public InputBackend {
public:
    static constexpr const char* kName = "wlroots";
    // One move never goes further than this many pixels on an axis.
    static constexpr double kMaxStep = 32767;

    // Whether it can work in the Wayland session of that display (none: no session). Waits for
    // the compositor's answer, WaylandConnection::kPatienceMs at most.
    static InputBackendAvailability availability(const QString& waylandDisplay);

    // An empty display name means $WAYLAND_DISPLAY.
    WlrootsBackend(QString displayName, XKBLayoutNames layout);
    ~WlrootsBackend() override;

    QString name() const override { return QLatin1String(kName); }
    void start() override;
    bool trusted() const override { return trusted_.load(); }
    void requestAccess() override;

    std::optional<QPointF> cursorLocation() override { return std::nullopt; }
    QList<QRectF> displayBounds() override;
    void postMove(PointerAction action, QPointF at, QPointF step) override;
    void postPointer(PointerAction action, QPointF at, int clickState) override;
    void postScroll(qint32 vertical, qint32 horizontal) override;
    void endScroll() override;
    bool postKey(quint16 evdevCode, bool down) override;
    void typeText(const QString& text) override;
    std::unique_ptr<KeySymbolSource> keySymbols() override;

private:
    bool connectToCompositor();
    bool createDevices(QString* error);
    void connectionLost();
    void disconnect();
    bool usable() const;
    // Sends what was asked; notices a compositor that has gone.
    bool flush();
    void setTrusted(bool trusted);

    const QString displayName_;
    const XKBLayoutNames layoutNames_;
    std::optional<XKBKeymap> layout_;
    std::unique_ptr<WlrootsConnection> wayland_;
    std::unique_ptr<VirtualPointer> pointer_;
    std::unique_ptr<VirtualKeyboard> keyboard_;
    std::atomic<bool> trusted_{false};
    bool failureReported_ = false;
};
