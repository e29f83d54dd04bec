#pragma once

#include "input/InputBackend.h"

#include <QHash>
#include <QList>

#include <mutex>

// Records what Input posts, for tests and benchmarks. Cursor, displays and layout are set by
// the caller. Safe to inspect from another thread.
class RecordingBackend : public InputBackend {
public:
    struct Event {
        enum class Kind { Pointer, Scroll, ScrollEnd, Key, Text };
        Kind kind = Kind::Pointer;
        PointerAction action = PointerAction::Move;
        QPointF at;
        QPointF step;  // of a move: as asked, before clamping
        int clickState = 0;
        qint32 vertical = 0, horizontal = 0;
        quint16 key = 0;
        bool down = false;
        QString text;
    };

    // Characters by (evdev code, shifted).
    using Layout = QHash<QPair<quint16, bool>, QString>;

    QString name() const override { return QStringLiteral("recording"); }
    bool trusted() const override;
    std::optional<QPointF> cursorLocation() override;
    QList<QRectF> displayBounds() override;
    void postPointer(PointerAction action, QPointF at, int clickState) override;
    void postMove(PointerAction action, QPointF at, QPointF step) override;
    void postScroll(qint32 vertical, qint32 horizontal) override;
    void endScroll() override;
    bool postKey(quint16 evdevCode, bool down) override;
    void typeText(const QString& text) override;
    std::unique_ptr<KeySymbolSource> keySymbols() override;

    void setTrusted(bool trusted);
    void setCursor(std::optional<QPointF> cursor);
    void setDisplays(const QList<QRectF>& displays);
    // Replaces the layout and tells Input, as a layout switch would.
    void setLayout(const Layout& layout);

    QList<Event> events() const;
    QList<Event> takeEvents();

private:
    void record(Event event);

    mutable std::mutex mutex_;
    bool trusted_ = true;
    std::optional<QPointF> cursor_;
    QList<QRectF> displays_;
    Layout layout_;
    QList<Event> events_;
};
