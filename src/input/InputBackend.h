// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/LayoutMap.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

enum class PointerAction { Move, Drag, LeftDown, LeftUp, RightDown, RightUp };

// Nothing when a backend can work on this desktop; else why not, in a few words.
using InputBackendAvailability = std::optional<QString>;

// What the window system must do for Input. A backend belongs to the input queue's thread,
// where it is used, destroyed and its signals are emitted; only trusted() and name() are called
// from other threads. Coordinates are global desktop coordinates, x to the right and y
// downward.
class InputBackend : public QObject {
    Q_OBJECT
public:
    ~InputBackend() override = default;

    virtual QString name() const = 0;
    // Connects to the window system; called once, first. Ends, at once or later (a desktop's
    // consent dialog waits for the user), in ready() or failed().
    virtual void start() = 0;
    // Whether events can be posted now (the "ax" of replies). Safe from any thread.
    virtual bool trusted() const = 0;
    // Asks the desktop again for whatever permission posting needs.
    virtual void requestAccess() {}

    virtual std::optional<QPointF> cursorLocation() = 0;
    // The displays' rectangles, in the order the window system lists them.
    virtual QList<QRectF> displayBounds() = 0;

    // clickState: 1 for a single click, 2 for the second click of a double click; 0 for moves.
    virtual void postPointer(PointerAction action, QPointF at, int clickState) = 0;
    // A move or drag to at, clamped to the displays, asked for as step. A backend that cannot
    // read the pointer moves it relatively by step and lets the window system, which knows
    // where the pointer is, keep it on the displays.
    virtual void postMove(PointerAction action, QPointF at, QPointF step) {
        (void)step;
        postPointer(action, at, 0);
    }
    // Whole pixels: vertical > 0 scrolls up, horizontal > 0 scrolls left.
    virtual void postScroll(qint32 vertical, qint32 horizontal) = 0;
    // The scroll has rested: no step for as long as the smoothing waits before it stops.
    virtual void endScroll() {}
    // One key by its evdev code; returns false when the event could not be posted.
    virtual bool postKey(quint16 evdevCode, bool down) = 0;
    // A key chosen through the layout map for the character it types. A backend that does not
    // know the desktop's layout may post that character's symbol instead of the key.
    virtual bool postLayoutKey(quint16 evdevCode, bool down) { return postKey(evdevCode, down); }
    // Types the whole text, in order, into the focused window.
    virtual void typeText(const QString& text) = 0;

    // The current layout's characters by key and shift level; null when unknown.
    virtual std::unique_ptr<KeySymbolSource> keySymbols() { return nullptr; }

    // Operations the backend holds until the window system takes them. Safe from any thread.
    int waiting() const { return waiting_.load(); }

protected:
    void setWaiting(int count) {
        if (waiting_.exchange(count) != count) emit waitingChanged();
    }

    // Ends start(): ready() when events can be posted now, else failed().
    void reportStart(bool canPost) {
        if (canPost)
            emit ready();
        else
            emit failed();
    }

signals:
    // Started: events can be posted.
    void ready();
    // Starting failed, and the backend logged why; requestAccess() may try again.
    void failed();
    // After start(), whenever trusted() changes.
    void trustChanged();
    // The keyboard layout changed: keySymbols() reads the new one.
    void layoutChanged();
    void waitingChanged();

private:
    std::atomic<int> waiting_{0};
};
