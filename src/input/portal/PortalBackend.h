// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/InputBackend.h"
#include "input/portal/PortalDesktop.h"
#include "input/portal/RemoteDesktopSession.h"
#include "input/portal/UnicodeEntry.h"
#include "input/portal/WaylandKeymap.h"
#include "input/xkb/ConfiguredLayout.h"

#include <QDBusConnection>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

// Input on a Wayland desktop through the desktop portal's RemoteDesktop session, which works
// on GNOME and KDE without any rights of our own. The session is asked for at start, by the
// first input if nothing asked before, and again from the menu after the desktop refused or
// ended it; "ax" is true while it runs. The pointer cannot be read and moves relatively, so
// each move is posted as the step asked for. Keys go as evdev codes; keys chosen for their
// character as keysyms, which the desktop types through its own layout; text as keysyms too,
// but the characters that layout lacks, which the desktop would drop, as Ctrl+Shift+U and
// their code (UnicodeEntry). The layout is the compositor's, else the configured one.
// Operations wait here, in order, until the portal has taken what went before: a text waits
// as its characters, which become key events only then. Nothing is dropped while the session
// runs; waiting() tells the transports when to stop reading.
class PortalBackend : public InputBackend {
public:
    static constexpr const char* kName = "portal";
    // One move never goes further than this many pixels on an axis.
    static constexpr double kMaxStep = 32767;
    // Programs take 10 axis units as one wheel click; X11 makes one of 50 pixels.
    static constexpr double kAxisUnitsPerPixel = 0.2;
    // Events handed to the session ahead of the one the portal is taking.
    static constexpr size_t kEventsAhead = 16;

    // Whether a RemoteDesktop portal answers on the bus: answer tells, later, in context.
    static void availability(const QDBusConnection& bus, QObject* context,
                             std::function<void(InputBackendAvailability)> answer);

    PortalBackend(QDBusConnection bus, QString restoreTokenPath, XKBLayoutNames layout,
                  QString waylandDisplay = {});
    ~PortalBackend() override;

    QString name() const override { return QLatin1String(kName); }
    void start() override;
    bool trusted() const override { return started_.load(); }
    void requestAccess() override;

    std::optional<QPointF> cursorLocation() override { return std::nullopt; }
    QList<QRectF> displayBounds() override { return {}; }
    void postMove(PointerAction action, QPointF at, QPointF step) override;
    void postPointer(PointerAction action, QPointF at, int clickState) override;
    void postScroll(qint32 vertical, qint32 horizontal) override;
    void endScroll() override;
    bool postKey(quint16 evdevCode, bool down) override;
    bool postLayoutKey(quint16 evdevCode, bool down) override;
    void typeText(const QString& text) override;
    std::unique_ptr<KeySymbolSource> keySymbols() override;

private:
    void findDesktop();
    void followDesktopKeymap();
    // Runs make, which hands events to the session, once what waits before it has gone.
    void post(std::function<void()> make);
    void feed();
    void dropWaiting();
    void typeCharacter(char32_t character);
    // A keysym the layout types: as a keysym, or by its key and level's modifier.
    void typeSymbol(xkb_keysym_t sym);
    void pressSymbol(xkb_keysym_t sym, bool down);
    void followIBus();
    // Whether events can go now; the first input ever asks for the session.
    bool canPost();
    void stateChanged();
    // The compositor's layout, else the configured one.
    const DesktopLayout& layout() const;
    void typeByCode(char32_t character, UnicodeEntry::Reader reader);

    QDBusConnection bus_;
    const QString restoreTokenPath_;
    const XKBLayoutNames layoutNames_;
    const QString waylandDisplay_;
    std::unique_ptr<RemoteDesktopSession> session_;
    std::optional<XKBKeymap> keymap_;
    std::unique_ptr<WaylandKeymap> desktopKeymap_;
    DesktopLayout configuredLayout_;
    bool codeEntryReported_ = false;
    // Whether IBus, which reads Ctrl+Shift+U sequences in its own time, runs on the bus.
    bool ibusRuns_ = false;
    bool ibusChangeSeen_ = false;
    bool startReported_ = false;
    std::atomic<bool> started_{false};
    bool dropReported_ = false;
    bool scrolledVertically_ = false;
    bool scrolledHorizontally_ = false;
    PortalDesktop desktop_;
    std::deque<std::function<void()>> waiting_;
};
