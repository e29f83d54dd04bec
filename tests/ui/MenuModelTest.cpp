#include "ui/MenuBuilder.h"
#include "ui/MenuModel.h"

#include <QMenu>

#include <gtest/gtest.h>

namespace {
QStringList titles(const QList<MenuItem>& items) {
    QStringList out;
    for (const MenuItem& item : items) out << (item.separator ? QStringLiteral("---") : item.title);
    return out;
}
}  // namespace

// Commands and shortcuts are checked through the Qt actions in MenuBuilder's test.
TEST(StatusMenu, trustedHasSevenEntriesInOrderWithInformationLinesDisabled) {
    const QList<MenuItem> items = MenuModel::statusMenu(0, "0042", true);
    EXPECT_EQ(
        titles(items),
        QStringList({"⚪️ En attente de connexion", "---", "Code de jumelage : 0042",
                     "Nouveau code", "Afficher la fenêtre de jumelage", "---", "Quitter Olvane"}));
    const QList<bool> enabled{false, false, false, true, true, false, true};
    for (int i = 0; i < items.size(); ++i)
        if (!items[i].separator) EXPECT_EQ(items[i].enabled, enabled[i]) << i;
    // Any number of phones reads the same, without a count.
    EXPECT_EQ(MenuModel::statusMenu(5, "0042", true).first().title, "🟢 iPhone connecté");
}

TEST(StatusMenu, untrustedAddsASeparatorAndThePermissionItemBeforeQuitting) {
    const QList<MenuItem> items = MenuModel::statusMenu(0, "0042", false);
    ASSERT_EQ(items.size(), 9);
    EXPECT_TRUE(items[5].separator);
    EXPECT_EQ(items[6].title, "⚠️ Autoriser l'accessibilité…");
    EXPECT_EQ(items[6].command, MenuCommand::RequestInputPermission);
    EXPECT_TRUE(items[6].enabled);
    EXPECT_TRUE(items[7].separator);
    EXPECT_EQ(items[8].title, "Quitter Olvane");
    // The exact characters: white circle with its emoji selector, then a space.
    EXPECT_EQ(items[0].title.toUcs4().mid(0, 3), QList<uint>({0x26AA, 0xFE0F, 0x20}));
    EXPECT_EQ(items[6].title.toUcs4().mid(0, 3), QList<uint>({0x26A0, 0xFE0F, 0x20}));
}

TEST(MainMenu, holdsTheApplicationAndWindowMenus) {
    const QList<Submenu> menus = MenuModel::mainMenu();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(titles(menus[0].items),
              QStringList({"À propos d'Olvane", "---", "Masquer Olvane", "---", "Quitter Olvane"}));
    EXPECT_EQ(menus[0].items[2].key, "h");
    EXPECT_EQ(menus[0].items[4].key, "q");
    EXPECT_EQ(menus[1].title, "Fenêtre");
    EXPECT_EQ(titles(menus[1].items), QStringList({"Fermer la fenêtre", "Réduire"}));
    EXPECT_EQ(menus[1].items[0].key, "w");
    EXPECT_EQ(menus[1].items[1].key, "m");
}

TEST(MenuBuilder, makesQtActionsWithControlShortcutsAndLiteralAmpersands) {
    QMenu menu;
    QList<MenuCommand> performed;
    MenuBuilder::fill(menu, MenuModel::statusMenu(0, "A&B", true),
                      [&](MenuCommand c) { performed << c; });
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), 7);
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_FALSE(actions[2]->isEnabled());
    // Shown as typed: "&&" is how a menu spells a literal ampersand.
    EXPECT_EQ(actions[2]->text(), "Code de jumelage : A&&B");
    EXPECT_EQ(actions[4]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_J));
    EXPECT_EQ(actions[6]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    actions[2]->trigger();  // an information line does nothing
    actions[3]->trigger();
    actions[6]->trigger();
    EXPECT_EQ(performed, QList<MenuCommand>({MenuCommand::RegenCode, MenuCommand::Quit}));
}
