// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

// What a keyboard layout produces: the text of a key (evdev code) without modifiers or
// with Shift. Empty when the key produces nothing.
class KeySymbolSource {
public:
    virtual ~KeySymbolSource() = default;
    virtual QString text(quint16 evdevCode, bool shifted) const = 0;
};

// Character (one grapheme, lower-cased) to the key that types it.
using LayoutMap = QHash<QString, quint16>;

// Two passes (no modifier, then Shift) over codes 0 to 127; each key's text is lower-cased
// and its first character kept; the first key found for a character wins.
LayoutMap buildLayoutMap(const KeySymbolSource& source);

// The first user-perceived character of the text, or an empty string.
QString firstGrapheme(const QString& text);
