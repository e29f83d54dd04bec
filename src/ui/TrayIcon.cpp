// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrayIcon.h"

#include "base/Log.h"

#include <QCursor>
#include <QGuiApplication>

TrayIcon::TrayIcon(const QIcon& icon, MenuHandler handler) : handler_(std::move(handler)) {
    icon_.setIcon(icon);
    icon_.setToolTip(QStringLiteral("Olvane"));
    // A click opens the menu too, as a status item does; trays only do it on the other button.
    QObject::connect(&icon_, &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger && menu_)
                             menu_->popup(QCursor::pos());
                     });
    // Off screen no tray can ever appear, as the start already said; elsewhere the icon
    // docks whenever one does.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        logWarning(QStringLiteral("No system tray on this desktop; the status menu is not shown"));
    icon_.show();
}

TrayIcon::~TrayIcon() {
    icon_.setContextMenu(nullptr);
}

void TrayIcon::setMenu(const QList<MenuItem>& items) {
    auto menu = std::make_unique<QMenu>();
    MenuBuilder::fill(*menu, items, handler_);
    icon_.setContextMenu(menu.get());
    // The old menu may be the one on screen right now, or the one whose action is running.
    if (menu_) menu_.release()->deleteLater();
    menu_ = std::move(menu);
}
