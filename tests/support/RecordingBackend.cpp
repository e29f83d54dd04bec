#include "support/RecordingBackend.h"

namespace {
class MapSource : public KeySymbolSource {
public:
    explicit MapSource(RecordingBackend::Layout layout) : layout_(std::move(layout)) {}
    QString text(quint16 code, bool shifted) const override {
        return layout_.value({code, shifted});
    }

private:
    RecordingBackend::Layout layout_;
};
}  // namespace

bool RecordingBackend::trusted() const {
    std::lock_guard lock(mutex_);
    return trusted_;
}

std::optional<QPointF> RecordingBackend::cursorLocation() {
    std::lock_guard lock(mutex_);
    return cursor_;
}

QList<QRectF> RecordingBackend::displayBounds() {
    std::lock_guard lock(mutex_);
    return displays_;
}

void RecordingBackend::postPointer(PointerAction action, QPointF at, int clickState) {
    Event e;
    e.kind = Event::Kind::Pointer;
    e.action = action;
    e.at = at;
    e.clickState = clickState;
    record(e);
}

void RecordingBackend::postMove(PointerAction action, QPointF at, QPointF step) {
    Event e;
    e.kind = Event::Kind::Pointer;
    e.action = action;
    e.at = at;
    e.step = step;
    record(e);
}

void RecordingBackend::endScroll() {
    Event e;
    e.kind = Event::Kind::ScrollEnd;
    record(e);
}

void RecordingBackend::postScroll(qint32 vertical, qint32 horizontal) {
    Event e;
    e.kind = Event::Kind::Scroll;
    e.vertical = vertical;
    e.horizontal = horizontal;
    record(e);
}

bool RecordingBackend::postKey(quint16 evdevCode, bool down) {
    Event e;
    e.kind = Event::Kind::Key;
    e.key = evdevCode;
    e.down = down;
    record(e);
    return true;
}

void RecordingBackend::typeText(const QString& text) {
    Event e;
    e.kind = Event::Kind::Text;
    e.text = text;
    record(e);
}

std::unique_ptr<KeySymbolSource> RecordingBackend::keySymbols() {
    std::lock_guard lock(mutex_);
    return std::make_unique<MapSource>(layout_);
}

void RecordingBackend::setTrusted(bool trusted) {
    std::lock_guard lock(mutex_);
    trusted_ = trusted;
}

void RecordingBackend::setCursor(std::optional<QPointF> cursor) {
    std::lock_guard lock(mutex_);
    cursor_ = cursor;
}

void RecordingBackend::setDisplays(const QList<QRectF>& displays) {
    std::lock_guard lock(mutex_);
    displays_ = displays;
}

void RecordingBackend::setLayout(const Layout& layout) {
    {
        std::lock_guard lock(mutex_);
        layout_ = layout;
    }
    emit layoutChanged();
}

QList<RecordingBackend::Event> RecordingBackend::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

QList<RecordingBackend::Event> RecordingBackend::takeEvents() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

void RecordingBackend::record(Event event) {
    std::lock_guard lock(mutex_);
    events_.append(std::move(event));
}
