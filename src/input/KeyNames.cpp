// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/KeyNames.h"

#include "input/LayoutMap.h"

#include <QHash>

namespace KeyNames {

std::optional<quint16> namedKeyCode(const QString& name) {
    static const QHash<QString, quint16> table = {
        {QStringLiteral("return"), 28},    {QStringLiteral("tab"), 15},
        {QStringLiteral("space"), 57},     {QStringLiteral("delete"), 14},
        {QStringLiteral("escape"), 1},     {QStringLiteral("left"), 105},
        {QStringLiteral("right"), 106},    {QStringLiteral("down"), 108},
        {QStringLiteral("up"), 103},       {QStringLiteral("home"), 102},
        {QStringLiteral("end"), 107},      {QStringLiteral("pageup"), 104},
        {QStringLiteral("pagedown"), 109},
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
    if (control) keys.append(kLeftCtrl);
    if (alt) keys.append(kLeftAlt);
    if (shift) keys.append(kLeftShift);
    if (super) keys.append(kLeftMeta);
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
