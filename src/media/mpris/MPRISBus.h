// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "media/PlayerBus.h"

#include <QDBusConnection>

// Media players on the session bus, through MPRIS. Names are listed with a short timeout;
// calls are made asynchronously from the main thread and a failure is logged.
class MPRISBus : public PlayerBus {
public:
    static constexpr int kListTimeoutMs = 500;

    explicit MPRISBus(QDBusConnection bus);

    QStringList names() override;
    void call(const QString& busName, const PlayerCall& call) override;

private:
    QDBusConnection bus_;
    bool reportedNoBus_ = false;
};
