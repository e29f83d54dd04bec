// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "state/AppState.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <optional>

// What a menu item asks the shell to do.
enum class MenuCommand {
    None,
    RegenCode,
    ShowPairingWindow,
    RequestInputPermission,
    Quit,
    About,
    Hide,
    CloseWindow,
    Minimize,
};

// One entry of a menu, independent of any toolkit. key is a single lowercase letter pressed
// with the platform's command modifier (Ctrl here), or empty.
struct MenuItem {
    QString title;
    MenuCommand command = MenuCommand::None;
    QString key;
    bool enabled = false;
    bool separator = false;

    static MenuItem separatorItem() { return MenuItem{{}, MenuCommand::None, {}, false, true}; }
    bool operator==(const MenuItem&) const = default;
};

struct Submenu {
    QString title;
    QList<MenuItem> items;
};

// The texts, order, shortcuts and enabled states of the agent's menus.
class MenuModel {
    Q_DECLARE_TR_FUNCTIONS(MenuModel)

public:
    // The status (tray) menu for the state read at this rebuild.
    static QList<MenuItem> statusMenu(qint64 connectedCount, const QString& pairingCode,
                                      bool trusted,
                                      const std::optional<PortTrouble>& trouble = std::nullopt);
    // What the menu and the pairing window say while phones cannot reach the port.
    static QString troubleText(const PortTrouble& trouble);
    // The application menu, then the "Window" menu.
    static QList<Submenu> mainMenu();
};
