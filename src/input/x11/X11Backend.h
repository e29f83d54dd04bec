// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/InputBackend.h"
#include "input/WheelAccumulator.h"
#include "input/xkb/XKBKeymap.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>

class X11Connection;
class X11TextTyper;
struct xkb_context;
typedef union _XEvent XEvent;

// Input on an X11 desktop: XTEST posts motion, buttons, wheel clicks and keys on a connection of
// its own, RandR monitors bound the pointer, and the server's XKB keymap, followed through every
// layout switch, turns characters into keys. A server that goes away turns "ax" false and is
// looked for again every kReconnectMs.
class X11Backend : public InputBackend {
public:
    static constexpr const char* kName = "x11";
    // One wheel click per this many pixels. The phone sends the pixels a page should move; a
    // click moves about three lines, 50 to 60 pixels, in common programs (see docs/desktops.md).
    static constexpr int kScrollPixelsPerClick = 50;
    static constexpr int kMaxWheelClicksPerEvent = 32;
    static constexpr int kReconnectMs = 1000;

    // Whether it can work in a session with these displays: X11 sessions only, since under
    // XWayland XTEST reaches only the X11 windows of a Wayland session.
    static InputBackendAvailability availability(const QString& x11Display,
                                                 const QString& waylandDisplay);

    // An empty display name means $DISPLAY.
    explicit X11Backend(QString displayName);
    ~X11Backend() override;

    QString name() const override { return QLatin1String(kName); }
    void start() override;
    bool trusted() const override { return trusted_.load(); }
    void requestAccess() override;

    std::optional<QPointF> cursorLocation() override;
    QList<QRectF> displayBounds() override;
    void postPointer(PointerAction action, QPointF at, int clickState) override;
    void postScroll(qint32 vertical, qint32 horizontal) override;
    bool postKey(quint16 evdevCode, bool down) override;
    void typeText(const QString& text) override;
    std::unique_ptr<KeySymbolSource> keySymbols() override;

private:
    bool connectToServer();
    void connectionLost();
    void scheduleReconnect();
    bool usable() const;
    void readEvents();
    void handleEvent(XEvent& event);
    bool refreshKeymap();
    void clickWheel(unsigned button, int clicks);
    bool keyIsDown(unsigned key) const;
    void setTrusted(bool trusted);

    const QString displayName_;
    std::unique_ptr<QTimer> reconnectTimer_;
    std::unique_ptr<X11Connection> x_;
    std::unique_ptr<X11TextTyper> typer_;
    xkb_context* xkb_ = nullptr;
    std::optional<XKBKeymap> keymap_;
    std::atomic<bool> trusted_{false};
    QByteArray keymapDescription_;
    bool keymapStale_ = false;
    bool everConnected_ = false;
    bool failureReported_ = false;
    WheelAccumulator verticalWheel_{kScrollPixelsPerClick, kMaxWheelClicksPerEvent};
    WheelAccumulator horizontalWheel_{kScrollPixelsPerClick, kMaxWheelClicksPerEvent};
    // Modifier keys someone else already held when we were asked to press them: neither
    // pressed nor released by us, so their owner's hold is left alone.
    QSet<unsigned> heldElsewhere_;
};
