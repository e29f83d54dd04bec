// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MenuBuilder.h"

#include <QMenu>
#include <QMenuBar>

namespace MenuBuilder {

void fill(QMenu& menu, const QList<MenuItem>& items, const MenuHandler& handler) {
    for (const MenuItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        // A lone '&' would turn the next letter into a mnemonic (the code may hold one).
        QAction* action =
            menu.addAction(QString(item.title).replace(QLatin1Char('&'), QStringLiteral("&&")));
        action->setEnabled(item.enabled);
        action->setShortcut(shortcut(item.key));
        if (item.command == MenuCommand::None) continue;
        const MenuCommand command = item.command;
        QObject::connect(action, &QAction::triggered, &menu, [handler, command] {
            if (handler) handler(command);
        });
    }
}

void fill(QMenuBar& bar, const QList<Submenu>& submenus, const MenuHandler& handler) {
    for (const Submenu& submenu : submenus)
        fill(*bar.addMenu(submenu.title), submenu.items, handler);
}

QKeySequence shortcut(const QString& key) {
    if (key.isEmpty()) return {};
    return QKeySequence(QStringLiteral("Ctrl+") + key.toUpper());
}

}  // namespace MenuBuilder
