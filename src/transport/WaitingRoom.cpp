// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/WaitingRoom.h"

#include "base/Log.h"
#include "transport/ConnectionGuard.h"

#include <QHash>

void WaitingRoom::enter(ConnectionGuard* guard) {
    const bool full = silent_.size() >= places_;
    if (full && !silentFull_)
        logWarning(QStringLiteral("WS: %1 connections have sent nothing yet; closing the oldest "
                                  "from the address that holds most")
                       .arg(silent_.size()));
    silentFull_ = full;
    if (full) whoLeaves(silent_, Rule::OldestFirst)->evict();
    silent_.append(guard);
}

bool WaitingRoom::spoke(ConnectionGuard* guard) {
    silent_.removeOne(guard);
    spoken_.append(guard);
    const bool full = spoken_.size() > places_;
    if (full && !spokenFull_)
        logWarning(QStringLiteral("WS: %1 connections await pairing; closing the newest from the "
                                  "address that holds most")
                       .arg(places_));
    spokenFull_ = full;
    if (!full) return true;
    ConnectionGuard* leaving = whoLeaves(spoken_, Rule::NewestFirst);
    leaving->evict();
    return leaving != guard;
}

void WaitingRoom::leave(ConnectionGuard* guard) {
    silent_.removeOne(guard);
    spoken_.removeOne(guard);
}

ConnectionGuard* WaitingRoom::whoLeaves(const QList<ConnectionGuard*>& group, Rule rule) {
    QHash<QByteArray, int> held;
    int most = 0;
    for (const ConnectionGuard* guard : group) most = std::max(most, ++held[guard->source()]);
    // The higher leaves first.
    auto rank = [rule](const ConnectionGuard* guard) -> std::pair<int, qint64> {
        if (rule == Rule::OldestFirst) return {0, -qint64(guard->order())};
        const qint64 waited = guard->waitedSinceSpoken();
        if (waited > kPatienceMs) return {1, waited};
        return {0, qint64(guard->order())};
    };
    ConnectionGuard* leaving = nullptr;
    for (ConnectionGuard* guard : group)
        if (held[guard->source()] == most && (!leaving || rank(guard) > rank(leaving)))
            leaving = guard;
    return leaving;
}
