// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/InputBackend.h"
#include "input/LayoutMap.h"

#include <QHash>
#include <QList>

#include <mutex>

// Records what Input posts, for tests and fuzzers.
class RecordingBackend : public InputBackend {
public:
    struct Event {
        enum class Kind { Pointer, Scroll, ScrollEnd, Key, Text };
        Kind kind = Kind::Pointer;
        PointerAction action = PointerAction::Move;
        QPointF at;
        qint32 vertical = 0;
        int key = 0;  // the evdev code, negated for a release
        QString text;
    };
    // Characters by evdev code and Shift.
    struct Layout : KeySymbolSource, QHash<QPair<quint16, bool>, QString> {
        using QHash::QHash;
        QString text(quint16 code, bool shifted) const override { return value({code, shifted}); }
    };

    // As a backend waiting for the window system does; on the input queue.
    void hold(int operations) { setWaiting(operations); }
    // Set by the test while the input queue has nothing to do; it follows what is posted.
    std::optional<QPointF> cursor;
    QList<QRectF> displays;
    Layout layout;

    QString name() const override { return QStringLiteral("recording"); }
    void start() override { emit ready(); }
    bool trusted() const override { return true; }
    std::optional<QPointF> cursorLocation() override { return cursor; }
    QList<QRectF> displayBounds() override { return displays; }
    void postPointer(PointerAction action, QPointF at, int) override {
        if (cursor) cursor = at;
        record({.action = action, .at = at});
    }
    void postScroll(qint32 vertical, qint32) override {
        record({.kind = Event::Kind::Scroll, .vertical = vertical});
    }
    void endScroll() override { record({.kind = Event::Kind::ScrollEnd}); }
    bool postKey(quint16 code, bool down) override {
        record({.kind = Event::Kind::Key, .key = down ? code : -code});
        return true;
    }
    void typeText(const QString& text) override {
        record({.kind = Event::Kind::Text, .text = text});
    }
    std::unique_ptr<KeySymbolSource> keySymbols() override {
        return std::make_unique<Layout>(layout);
    }

    // The events since the last call. Transports post from threads of their own, so the events
    // are kept under a lock.
    QList<Event> takeEvents() {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }

private:
    void record(Event event) {
        std::lock_guard lock(mutex_);
        events_.append(std::move(event));
    }

    std::mutex mutex_;
    QList<Event> events_;
};
