// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/WaylandTextTyper.h"

#include "input/wlroots/ExtendedKeymap.h"
#include "input/wlroots/VirtualKeyboard.h"
#include "input/xkb/TextCharacters.h"

#include <optional>

namespace {
// Control characters type nothing a program would show.
bool printable(char32_t c) {
    return c >= 0x20 && !(c >= 0x7f && c < 0xa0);
}
}  // namespace

WaylandTextTyper::WaylandTextTyper(VirtualKeyboard& keyboard, const XKBKeymap& layout,
                                   std::function<bool()> flush)
    : keyboard_(keyboard), layout_(layout), flush_(std::move(flush)) {}

QList<char32_t> WaylandTextTyper::type(const QList<char32_t>& characters) {
    QList<char32_t> skipped;
    for (const Part& part : split(characters, skipped))
        if (!typePart(part, skipped)) return skipped;
    QString error;
    if (keyboard_.setKeymap(layout_, &error)) flush_();
    return skipped;
}

QList<WaylandTextTyper::Part> WaylandTextTyper::split(const QList<char32_t>& characters,
                                                      QList<char32_t>& skipped) const {
    const KeyStrokePlanner planner(layout_, keyboard_.state());
    const qsizetype capacity = ExtendedKeymap::capacity(layout_);
    QList<Part> parts(1);
    for (char32_t c : characters) {
        if (planner.plan(TextCharacters::onKey(c), {})) {
            parts.last().characters.append(c);
            continue;
        }
        const xkb_keysym_t sym = TextCharacters::keysym(c);
        if (sym == XKB_KEY_NoSymbol || !printable(c) || capacity == 0) {
            skipped.append(c);
            continue;
        }
        if (!parts.last().added.contains(sym) && parts.last().added.size() == capacity)
            parts.append(Part{});
        if (!parts.last().added.contains(sym)) parts.last().added.append(sym);
        parts.last().characters.append(c);
    }
    return parts;
}

bool WaylandTextTyper::typePart(const Part& part, QList<char32_t>& skipped) {
    const std::optional<XKBKeymap> extended =
        part.added.isEmpty() ? std::nullopt : ExtendedKeymap::with(layout_, part.added);
    const XKBKeymap& keymap = extended ? *extended : layout_;
    QString error;
    if (!keyboard_.setKeymap(keymap, &error)) {
        skipped.append(part.characters);
        return true;
    }
    const KeyStrokePlanner planner(keymap, keyboard_.state());
    for (char32_t c : part.characters) {
        const std::optional<KeyStroke> stroke = planner.plan(TextCharacters::onKey(c), {});
        if (!stroke) {
            skipped.append(c);
            continue;
        }
        stroke->replay([this](xkb_keycode_t key, bool down) { keyboard_.key(key, down); });
        if (!flush_()) return false;
    }
    return true;
}
