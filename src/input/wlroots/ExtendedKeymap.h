// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/xkb/XKBKeymap.h"

#include <QList>

#include <optional>

#include <xkbcommon/xkbcommon.h>

// A keymap that types characters the user's layout lacks: the layout's keymap with each of them
// on a key of its own among those that type nothing.
namespace ExtendedKeymap {

// How many characters one keymap can add to the layout.
qsizetype capacity(const XKBKeymap& layout);
// The layout with the symbols added, at most capacity() of them; none when it cannot be built.
std::optional<XKBKeymap> with(const XKBKeymap& layout, const QList<xkb_keysym_t>& symbols);

}  // namespace ExtendedKeymap
