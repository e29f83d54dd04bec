#pragma once

#include "support/DBusFake.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

// Our stand-in for the desktop portal (olvane_e2e.fake_portal) with its RemoteDesktop interface
// on a private bus, where the user cancels the consent dialog until told otherwise. Steered
// through call(): "SetStartResponse" (0 grants the next sessions) and "CloseSessions" (the user
// stops the sharing).
class FakePortal : public DBusFake {
public:
    FakePortal()
        : DBusFake("fake_portal", "org.freedesktop.portal.Desktop", "org.olvane.test.FakePortal",
                   {"--refuse"}) {}

    // How many sessions were asked to start.
    qsizetype starts() {
        const QJsonArray calls =
            QJsonDocument::fromJson(call("Calls").arguments().value(0).toString().toUtf8()).array();
        return std::count_if(calls.begin(), calls.end(), [](const QJsonValue& method) {
            return method.toArray().first().toString() == "Start";
        });
    }
};
