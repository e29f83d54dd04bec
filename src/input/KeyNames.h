// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Key names the phone sends, and modifier names, as Linux evdev key codes.
namespace KeyNames {

enum class CmdKey { Control, Super };

// "return", "tab", ... (already lower-cased) to its key code.
std::optional<quint16> namedKeyCode(const QString& name);

// The modifier keys to hold, each once, in the fixed press order Control, Alt, Shift, Super.
// Unknown names are ignored; "cmd" and "meta" mean Control or Super as configured.
QList<quint16> modifierKeyCodes(const QStringList& names, CmdKey cmd);

CmdKey cmdKeyFromSetting(const QString& setting);

bool isSingleCharacter(const QString& text);

}  // namespace KeyNames
