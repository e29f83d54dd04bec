// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/UnicodeEntry.h"

#include <QHash>
#include <QString>

#include <algorithm>

#include <linux/input-event-codes.h>

namespace {
using Step = UnicodeEntry::Step;
using Kind = Step::Kind;

// Where a layout we do not know has them.
int usKey(char16_t c) {
    static const QHash<char16_t, int> keys = {
        {u'u', KEY_U}, {u'a', KEY_A}, {u'b', KEY_B}, {u'c', KEY_C}, {u'd', KEY_D}, {u'e', KEY_E},
        {u'f', KEY_F}, {u'0', KEY_0}, {u'1', KEY_1}, {u'2', KEY_2}, {u'3', KEY_3}, {u'4', KEY_4},
        {u'5', KEY_5}, {u'6', KEY_6}, {u'7', KEY_7}, {u'8', KEY_8}, {u'9', KEY_9}};
    return keys.value(c);
}

int keyOf(const DesktopLayout& layout, char16_t c, int level) {
    const char16_t typed = level == 0 ? c : QChar(c).toUpper().unicode();
    const int key = layout.key(typed, level);
    return key ? key : usKey(c);
}

void tap(QList<Step>& steps, Kind kind, int value) {
    steps.append({kind, value, true});
    steps.append({kind, value, false});
}
}  // namespace

QList<Step> UnicodeEntry::steps(char32_t character, const DesktopLayout& layout, Reader reader) {
    const QString code = QString::number(quint32(character), 16);
    QList<Step> steps;
    steps.append({Kind::Keycode, KEY_LEFTCTRL, true});
    steps.append({Kind::Keycode, KEY_LEFTSHIFT, true});
    tap(steps, Kind::Keycode, keyOf(layout, u'u', 0));
    steps.append({Kind::Keycode, KEY_LEFTSHIFT, false});
    steps.append({Kind::Keycode, KEY_LEFTCTRL, false});
    if (reader == Reader::IBus) steps.append({Kind::Pause, kIBusPauseMs});
    // For GTK, on a layout with the digits on the Shift level (AZERTY), Shift stays down for
    // the whole code, and the letters go as capitals.
    const bool shifted =
        reader == Reader::Gtk && layout.known() &&
        std::any_of(code.begin(), code.end(), [&](QChar d) { return !layout.key(d.unicode(), 0); });
    if (shifted) steps.append({Kind::Keycode, KEY_LEFTSHIFT, true});
    for (QChar digit : code) {
        // IBus takes the symbol, for which the desktop presses Shift where the layout needs.
        // Latin-1 keysyms are the characters.
        if (reader == Reader::IBus && layout.types(digit.unicode()))
            tap(steps, Kind::Keysym, digit.unicode());
        else
            tap(steps, Kind::Keycode, keyOf(layout, digit.unicode(), shifted ? 1 : 0));
    }
    tap(steps, Kind::Keycode, KEY_SPACE);
    if (shifted) steps.append({Kind::Keycode, KEY_LEFTSHIFT, false});
    if (reader == Reader::IBus) steps.append({Kind::Pause, kIBusPauseMs});
    return steps;
}
