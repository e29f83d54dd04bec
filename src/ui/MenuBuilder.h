// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/MenuModel.h"

#include <QKeySequence>

#include <functional>

class QMenu;
class QMenuBar;

using MenuHandler = std::function<void(MenuCommand)>;

// Turns the menu model into Qt menus whose actions call the handler.
namespace MenuBuilder {
// Appends the items to the menu.
void fill(QMenu& menu, const QList<MenuItem>& items, const MenuHandler& handler);
// One menu of the bar per submenu.
void fill(QMenuBar& bar, const QList<Submenu>& submenus, const MenuHandler& handler);
// The command modifier of this desktop with the item's letter; empty without a letter.
QKeySequence shortcut(const QString& key);
}  // namespace MenuBuilder
