// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

class ConnectionGuard;

// The connections that have not authenticated yet, in two groups with places of their own:
// silent ones, before their first message, and spoken ones, which sent one (a phone waiting
// on the pairing screen). Room is made rather than refused: connections kept waiting, as
// many as are allowed, would otherwise keep every phone out for as long as they wished.
//
// A new connection always gets in; when every silent place is taken, a silent connection
// leaves: from the address that holds the most, the oldest. A connection that speaks when
// every spoken place is taken makes one leave: from the address that holds the most, one that
// has waited more than a minute since it spoke, else the newest, itself included. So a flood
// of connections, from any number of addresses, pushes out its own; a phone that spoke stays
// until it pairs, or has waited a minute among as many others.
class WaitingRoom {
public:
    static constexpr qint64 kPatienceMs = 60 * 1000;

    explicit WaitingRoom(int places) : places_(places) {}

    void enter(ConnectionGuard* guard);
    // False when the connection had to leave itself.
    bool spoke(ConnectionGuard* guard);
    void leave(ConnectionGuard* guard);

private:
    enum class Rule { OldestFirst, NewestFirst };
    static ConnectionGuard* whoLeaves(const QList<ConnectionGuard*>& group, Rule rule);

    const int places_;
    QList<ConnectionGuard*> silent_;
    QList<ConnectionGuard*> spoken_;
    bool silentFull_ = false;
    bool spokenFull_ = false;
};
