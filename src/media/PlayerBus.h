// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "media/MediaPlayers.h"

#include <QStringList>

// Where media players live: the names on the bus, and calls to them that return at once
// (a failed call is reported by the bus itself).
class PlayerBus {
public:
    virtual ~PlayerBus() = default;
    virtual QStringList names() = 0;
    virtual void call(const QString& busName, const PlayerCall& call) = 0;
};
