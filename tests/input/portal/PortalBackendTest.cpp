// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/PortalBackend.h"
#include "support/DBusFake.h"
#include "support/InputHarness.h"
#include "support/Wait.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The portal stand-in grants the session and records the key events. "é" is not on the US
// layout: it goes as Ctrl+Shift+U and its code, e9, whose digits IBus reads as symbols and GTK
// as keys.
TEST(PortalBackend, characterCodesFollowIBusAsItComesAndGoesOnTheBus) {
    DBusFake portal("fake_portal", "org.freedesktop.portal.Desktop", "org.olvane.test.FakePortal",
                    {});
    ASSERT_TRUE(portal.running());
    // IBus runs before the agent starts, then goes, then comes back.
    QDBusConnection ibus = QDBusConnection::connectToBus(portal.address(), "ibus");
    ASSERT_TRUE(ibus.registerService("org.freedesktop.IBus"));
    QTemporaryDir dir;
    Input input(std::make_unique<PortalBackend>(portal.bus(), dir.filePath("token"),
                                                XKBLayoutNames{"", "", "us", "", ""}),
                std::make_unique<ManualInputClock>());
    ASSERT_TRUE(waitUntil([&] { return input.trusted(); }));
    // How the "e" of each "é" typed so far went, in order.
    auto eDigits = [&] {
        QStringList ways;
        const QJsonArray calls =
            QJsonDocument::fromJson(portal.call("Calls").arguments().value(0).toString().toUtf8())
                .array();
        for (const QJsonValue& call : calls) {
            const QJsonArray c = call.toArray();
            if (c[1].toInt() == 'e' && c[2].toInt() == 1 && c[0] == "NotifyKeyboardKeysym")
                ways << "symbol";
            if (c[1].toInt() == 18 && c[2].toInt() == 1 && c[0] == "NotifyKeyboardKeycode")
                ways << "key";  // evdev KEY_E
        }
        return ways;
    };
    // Each change of IBus reaches the backend before a call made on its connection afterwards
    // returns, and so before the text typed then.
    auto typeAfterwards = [&](int count) {
        portal.call("Calls");
        input.typeText("é");
        return waitUntil([&] { return eDigits().size() == count; }, 10000);
    };
    ASSERT_TRUE(typeAfterwards(1));
    ASSERT_TRUE(ibus.unregisterService("org.freedesktop.IBus"));
    ASSERT_TRUE(typeAfterwards(2));
    ASSERT_TRUE(ibus.registerService("org.freedesktop.IBus"));
    ASSERT_TRUE(typeAfterwards(3));
    EXPECT_EQ(eDigits(), (QStringList{"symbol", "key", "symbol"}));
    QDBusConnection::disconnectFromBus("ibus");
}
