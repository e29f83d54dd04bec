// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/KeyNames.h"

#include "input/LayoutMap.h"

#include <QHash>

#include <linux/input-event-codes.h>

namespace KeyNames {

std::optional<quint16> namedKeyCode(const QString& name) {
    static const QHash<QString, quint16> table = {
        {QStringLiteral("return"), KEY_ENTER},
        {QStringLiteral("tab"), KEY_TAB},
        {QStringLiteral("space"), KEY_SPACE},
        {QStringLiteral("delete"), KEY_BACKSPACE},
        {QStringLiteral("escape"), KEY_ESC},
        {QStringLiteral("left"), KEY_LEFT},
        {QStringLiteral("right"), KEY_RIGHT},
        {QStringLiteral("down"), KEY_DOWN},
        {QStringLiteral("up"), KEY_UP},
        {QStringLiteral("home"), KEY_HOME},
        {QStringLiteral("end"), KEY_END},
        {QStringLiteral("pageup"), KEY_PAGEUP},
        {QStringLiteral("pagedown"), KEY_PAGEDOWN},
    };
    const auto it = table.constFind(name);
    if (it == table.constEnd()) return std::nullopt;
    return *it;
}

QList<quint16> modifierKeyCodes(const QStringList& names, CmdKey cmd) {
    bool control = false, alt = false, shift = false, super = false;
    for (const QString& raw : names) {
        const QString name = raw.toLower();
        if (name == QLatin1String("cmd") || name == QLatin1String("meta"))
            (cmd == CmdKey::Super ? super : control) = true;
        else if (name == QLatin1String("ctrl"))
            control = true;
        else if (name == QLatin1String("alt") || name == QLatin1String("opt"))
            alt = true;
        else if (name == QLatin1String("shift"))
            shift = true;
        else if (name == QLatin1String("super"))
            super = true;
    }
    QList<quint16> keys;
    if (control) keys.append(KEY_LEFTCTRL);
    if (alt) keys.append(KEY_LEFTALT);
    if (shift) keys.append(KEY_LEFTSHIFT);
    if (super) keys.append(KEY_LEFTMETA);
    return keys;
}

CmdKey cmdKeyFromSetting(const QString& setting) {
    return setting.compare(QLatin1String("super"), Qt::CaseInsensitive) == 0 ? CmdKey::Super
                                                                             : CmdKey::Control;
}

bool isSingleCharacter(const QString& text) {
    return !text.isEmpty() && firstGrapheme(text).size() == text.size();
}

}  // namespace KeyNames
