// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <xkbcommon/xkbcommon.h>

// How the backends that type through keys read a text.
namespace TextCharacters {

// The characters in order, a "\r\n" line end counting as one.
QList<char32_t> of(const QString& text);
// The keysym that types the character: a line end is the Return key.
xkb_keysym_t keysym(char32_t character);
// The character a key of the layout types for it (the Return key types '\r').
char32_t onKey(char32_t character);
// The log line for characters that could not be typed; empty when there are none.
QString skippedLine(const QList<char32_t>& skipped, qsizetype total);

}  // namespace TextCharacters
