// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/PortalBackend.h"
#include "support/DBusFake.h"
#include "support/InputHarness.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The portal stand-in grants the session and records the key events. "é" is not on the US
// layout: it goes as Ctrl+Shift+U and its code, e9, whose digits IBus reads as symbols and GTK
// as keys. IBus runs before the agent starts, then goes, then comes back.
TEST(PortalBackend, characterCodesFollowIBusAsItComesAndGoesOnTheBus) {
    DBusFake portal("fake_portal", "org.freedesktop.portal.Desktop", "org.olvane.test.FakePortal",
                    {});
    QDBusConnection ibus = QDBusConnection::connectToBus(portal.address(), "ibus");
    ASSERT_TRUE(portal.running() && ibus.registerService("org.freedesktop.IBus"));
    QTemporaryDir dir;
    Input input(std::make_unique<PortalBackend>(portal.bus(), dir.filePath("token"),
                                                XKBLayoutNames{"", "", "us", "", ""}),
                std::make_unique<ManualInputClock>());
    ASSERT_TRUE(waitUntil([&] { return input.trusted(); }));
    // Each "é" typed so far: s when the "e" of its code went as IBus's keysym, c as GTK's keycode.
    const QRegularExpression e(R"(Key(s)ym", 101, 1\]|Key(c)ode", 18, 1\])");
    QString ways;
    auto typeOne = [&] {
        const qsizetype before = ways.size();
        portal.call("Calls");  // a change of IBus reaches the backend before this returns
        input.typeText("é");
        return waitUntil([&] {
            ways.clear();
            for (const auto& m : e.globalMatch(portal.call("Calls").arguments()[0].toString()))
                ways += m.captured(1) + m.captured(2);
            return ways.size() == before + 1;
        });
    };
    ASSERT_TRUE(typeOne() && ibus.unregisterService("org.freedesktop.IBus"));
    ASSERT_TRUE(typeOne() && ibus.registerService("org.freedesktop.IBus"));
    ASSERT_TRUE(typeOne());
    EXPECT_EQ(ways, "scs");
}

// A portal that stops taking events ends the session after 10 s: one line tells what was
// dropped (three characters are six events, one of them under way), and the desktop is asked
// again.
TEST(PortalBackend, aPortalThatTakesNoEventEndsTheSessionAndIsAskedAgain) {
    DBusFake portal("fake_portal", "org.freedesktop.portal.Desktop", "org.olvane.test.FakePortal",
                    {});
    LogCapture log;
    QTemporaryDir dir;
    Input input(std::make_unique<PortalBackend>(portal.bus(), dir.filePath("token"),
                                                XKBLayoutNames{"", "", "us", "", ""}),
                std::make_unique<ManualInputClock>());
    ASSERT_TRUE(waitUntil([&] { return input.trusted(); }));
    portal.call("Hang", {true});
    input.typeText("abc");
    const QString ended =
        "Input: the desktop portal took no event for 10 s; the remote control "
        "session is ended, 5 waiting input events dropped, and the desktop "
        "asked again";
    ASSERT_TRUE(waitUntil([&] { return log.count(ended) == 1; }, 20000))
        << log.lines().join('\n').toStdString();
    EXPECT_TRUE(waitUntil([&] {
        return input.trusted() &&
               portal.call("Calls").arguments()[0].toString().count("CreateSession") == 2;
    }));
}
