// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/MenuBuilder.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include <memory>

// The agent's icon in the desktop's tray, with the status menu. The menu is replaced as a
// whole on every change. Without a tray the icon waits for one to appear.
class TrayIcon {
public:
    TrayIcon(const QIcon& icon, MenuHandler handler);
    ~TrayIcon();

    void setMenu(const QList<MenuItem>& items);
    QMenu* menu() const { return menu_.get(); }
    QSystemTrayIcon& icon() { return icon_; }

private:
    QSystemTrayIcon icon_;
    MenuHandler handler_;
    std::unique_ptr<QMenu> menu_;
};
