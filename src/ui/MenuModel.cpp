// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MenuModel.h"

namespace {
MenuItem info(const QString& title) {
    return MenuItem{title, MenuCommand::None, {}, false, false};
}

MenuItem action(const QString& title, MenuCommand command, const QString& key = {}) {
    return MenuItem{title, command, key, true, false};
}
}  // namespace

QString MenuModel::troubleText(const PortTrouble& trouble) {
    if (!trouble.taken) return QStringLiteral("Port %1 indisponible").arg(trouble.port);
    if (!trouble.ownerUid)
        return QStringLiteral("Port %1 pris par un autre programme").arg(trouble.port);
    const QString uid = QStringLiteral("uid %1").arg(*trouble.ownerUid);
    return QStringLiteral("Port %1 pris par %2")
        .arg(trouble.port)
        .arg(trouble.ownerName.isEmpty()
                 ? uid
                 : trouble.ownerName + QStringLiteral(" (") + uid + QLatin1Char(')'));
}

QList<MenuItem> MenuModel::statusMenu(qint64 connectedCount, const QString& pairingCode,
                                      bool trusted, const std::optional<PortTrouble>& trouble) {
    QList<MenuItem> items;
    // The first line shows no number: one phone or five read the same.
    items << info(connectedCount > 0 ? QStringLiteral("🟢 iPhone connecté")
                                     : QStringLiteral("⚪️ En attente de connexion"));
    if (trouble) items << info(QStringLiteral("🔴 ") + troubleText(*trouble));
    items << MenuItem::separatorItem();
    items << info(QStringLiteral("Code de jumelage : ") + pairingCode);
    items << action(QStringLiteral("Nouveau code"), MenuCommand::RegenCode);
    items << action(QStringLiteral("Afficher la fenêtre de jumelage"),
                    MenuCommand::ShowPairingWindow, QStringLiteral("j"));
    if (!trusted) {
        items << MenuItem::separatorItem();
        items << action(QStringLiteral("⚠️ Autoriser l'accessibilité…"),
                        MenuCommand::RequestInputPermission);
    }
    items << MenuItem::separatorItem();
    items << action(QStringLiteral("Quitter Olvane"), MenuCommand::Quit, QStringLiteral("q"));
    return items;
}

QList<Submenu> MenuModel::mainMenu() {
    const Submenu application{
        QStringLiteral("Olvane"),
        {action(QStringLiteral("À propos d'Olvane"), MenuCommand::About), MenuItem::separatorItem(),
         action(QStringLiteral("Masquer Olvane"), MenuCommand::Hide, QStringLiteral("h")),
         MenuItem::separatorItem(),
         action(QStringLiteral("Quitter Olvane"), MenuCommand::Quit, QStringLiteral("q"))}};
    const Submenu window{
        QStringLiteral("Fenêtre"),
        {action(QStringLiteral("Fermer la fenêtre"), MenuCommand::CloseWindow, QStringLiteral("w")),
         action(QStringLiteral("Réduire"), MenuCommand::Minimize, QStringLiteral("m"))}};
    return {application, window};
}
