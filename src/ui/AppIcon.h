// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The agent's icon: a hand pointing at a rectangle, drawn for light and dark panels alike.
namespace AppIcon {
QIcon icon();
// What stands in when the picture cannot be drawn (no SVG support): the letters "Ol".
QIcon fallback();
}  // namespace AppIcon
