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
    if (!trouble.taken) return tr("Port %1 unavailable").arg(trouble.port);
    if (!trouble.ownerUid) return tr("Port %1 taken by another program").arg(trouble.port);
    const QString uid = QStringLiteral("uid %1").arg(*trouble.ownerUid);
    return tr("Port %1 taken by %2")
        .arg(trouble.port)
        .arg(trouble.ownerName.isEmpty()
                 ? uid
                 : trouble.ownerName + QStringLiteral(" (") + uid + QLatin1Char(')'));
}

QList<MenuItem> MenuModel::statusMenu(qint64 connectedCount, const QString& pairingCode,
                                      bool trusted, const std::optional<PortTrouble>& trouble) {
    QList<MenuItem> items;
    // The first line shows no number: one phone or five read the same.
    items << info(connectedCount > 0 ? tr("🟢 Phone connected")
                                     : tr("⚪️ Waiting for connection"));
    if (trouble) items << info(QStringLiteral("🔴 ") + troubleText(*trouble));
    items << MenuItem::separatorItem();
    items << info(tr("Pairing code: %1").arg(pairingCode));
    items << action(tr("New code"), MenuCommand::RegenCode);
    items << action(tr("Show the pairing window"), MenuCommand::ShowPairingWindow,
                    QStringLiteral("j"));
    if (!trusted) {
        items << MenuItem::separatorItem();
        items << action(tr("⚠️ Allow accessibility…"), MenuCommand::RequestInputPermission);
    }
    items << MenuItem::separatorItem();
    items << action(tr("Quit Olvane"), MenuCommand::Quit, QStringLiteral("q"));
    return items;
}

QList<Submenu> MenuModel::mainMenu() {
    const Submenu application{
        QStringLiteral("Olvane"),
        {action(tr("About Olvane"), MenuCommand::About), MenuItem::separatorItem(),
         action(tr("Hide Olvane"), MenuCommand::Hide, QStringLiteral("h")),
         MenuItem::separatorItem(),
         action(tr("Quit Olvane"), MenuCommand::Quit, QStringLiteral("q"))}};
    const Submenu window{tr("Window"),
                         {action(tr("Close Window"), MenuCommand::CloseWindow, QStringLiteral("w")),
                          action(tr("Minimize"), MenuCommand::Minimize, QStringLiteral("m"))}};
    return {application, window};
}
