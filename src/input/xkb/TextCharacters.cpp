// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/xkb/TextCharacters.h"

namespace TextCharacters {

QList<char32_t> of(const QString& text) {
    const QList<uint> all = text.toUcs4();
    QList<char32_t> characters;
    characters.reserve(all.size());
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all[i] == U'\r' && i + 1 < all.size() && all[i + 1] == U'\n') continue;
        characters.append(char32_t(all[i]));
    }
    return characters;
}

xkb_keysym_t keysym(char32_t character) {
    if (character == U'\n' || character == U'\r') return XKB_KEY_Return;
    return xkb_utf32_to_keysym(character);
}

char32_t onKey(char32_t character) {
    return character == U'\n' ? U'\r' : character;
}

QString skippedLine(const QList<char32_t>& skipped, qsizetype total) {
    if (skipped.isEmpty()) return {};
    QString text;
    for (char32_t c : skipped) {
        if (text.size() > 40) {
            text += QStringLiteral("…");
            break;
        }
        text += c < 0x20 ? QStringLiteral("U+%1").arg(quint32(c), 4, 16, QLatin1Char('0'))
                         : QString::fromUcs4(&c, 1);
    }
    return QStringLiteral("Text: %1 of %2 characters could not be typed: %3")
        .arg(skipped.size())
        .arg(total)
        .arg(text);
}

}  // namespace TextCharacters
