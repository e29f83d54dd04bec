#pragma once

#include "support/DBusFake.h"

#include <QDBusConnection>
#include <QJsonArray>

// Our stand-in for the desktop portal (olvane_e2e.fake_portal) on a private session bus: it
// speaks org.freedesktop.portal.RemoteDesktop with its request and session objects, and tells
// the test every call it received.
class FakePortal {
public:
    struct Options {
        bool refuse = false;  // the user cancels the consent dialog
    };

    explicit FakePortal(Options options);
    FakePortal() : FakePortal(Options{}) {}
    ~FakePortal();

    bool running() const { return fake_.running(); }
    // A connection to the private bus for the side under test.
    QDBusConnection bus() const;

    // The RemoteDesktop calls so far, each [method, its arguments after the session...].
    QJsonArray calls();
    // The arguments of the calls of one method, without the session handle.
    QList<QJsonArray> callsOf(const QString& method);
    // 0 grants the next sessions, 1 is the user cancelling.
    void setStartResponse(uint response);
    // The desktop ends the sessions, as when the user stops the sharing.
    void closeSessions();

private:
    DBusFake fake_;
    QString connectionName_;
};
