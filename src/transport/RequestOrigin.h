// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class HTTPRequestHead;

// Which browser requests the port serves. A page of another site must not talk to the agent:
// an upgrade whose Origin is not the touchpad page's own (http://<Host>) is refused with 403.
// A site can also make its own name lead to this computer (DNS rebinding) and so be its own
// origin; requests from browsers must therefore name this computer in Host: an IP address,
// localhost, the computer's host name, or a name in .local (421 otherwise). Upgrades without
// Origin come from the app, not from a page, and pass.
class RequestOrigin {
public:
    // 0 when the request may go on, else the status that refuses it. ownNames are this
    // computer's host names, compared without regard to case.
    static int refusal(const HTTPRequestHead& request, const QStringList& ownNames);
    // The host name, and with its domain when the system knows one.
    static QStringList ownNames();

private:
    static bool namesThisComputer(const QByteArray& host, const QStringList& ownNames);
};
