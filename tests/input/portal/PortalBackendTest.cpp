#include "input/Input.h"
#include "input/portal/PortalBackend.h"
#include "support/FakePortal.h"
#include "support/ManualInputClock.h"
#include "support/Wait.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The portal backend under Input, against our stand-in for the desktop portal.
namespace {
struct PortalInput {
    ManualInputClock* clock = nullptr;
    std::unique_ptr<Input> input;

    PortalInput(const FakePortal& portal, const QString& tokenPath) {
        auto manual = std::make_unique<ManualInputClock>();
        clock = manual.get();
        input = std::make_unique<Input>(
            std::make_unique<PortalBackend>(portal.bus(), tokenPath,
                                            XKBLayoutNames{"", "", "us", "", ""}),
            std::move(manual));
    }

    bool start() {
        input->requestAccess();
        return waitUntil([&] { return input->trusted(); });
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) clock->tick(*input);
    }
};

QJsonArray call(std::initializer_list<QJsonValue> values) {
    return QJsonArray(values);
}
}  // namespace

TEST(PortalBackend, clicksScrollsKeysAndTextReachThePortalWithItsArguments) {
    FakePortal portal;
    ASSERT_TRUE(portal.running());
    QTemporaryDir dir;
    PortalInput h(portal, dir.filePath("token"));
    ASSERT_TRUE(h.start());

    // A single motion and a left click are checked on the real agent in test_portal_input.py.
    h.input->click(true, 2);
    // The portal's axes grow downward and to the right; the scroll ends once it rested.
    h.input->scroll(0, 10);
    h.ticks(4 + Input::kIdleTicksBeforeStop);
    h.input->scroll(-3, 0);
    h.ticks(1);
    h.input->pressKey("Return", {"ctrl"});
    h.input->pressKey("!", {});  // the key of '!' on the layout: the 1 key, as a symbol
    h.input->typeText("Aé\r\n");

    const QJsonObject none;
    const QList<QJsonArray> expected = {
        call({"NotifyPointerButton", none, 0x111, 1}),
        call({"NotifyPointerButton", none, 0x111, 0}),
        call({"NotifyPointerAxis", none, 0, -4}),
        call({"NotifyPointerAxis", none, 0, -2}),
        call({"NotifyPointerAxis", none, 0, -1}),
        call({"NotifyPointerAxis", none, 0, -1}),
        call({"NotifyPointerAxis", QJsonObject{{"finish", true}}, 0, 0}),
        call({"NotifyPointerAxis", none, 1, 0}),
        call({"NotifyKeyboardKeycode", none, 29, 1}),
        call({"NotifyKeyboardKeycode", none, 28, 1}),
        call({"NotifyKeyboardKeycode", none, 28, 0}),
        call({"NotifyKeyboardKeycode", none, 29, 0}),
        call({"NotifyKeyboardKeysym", none, 0x31, 1}),
        call({"NotifyKeyboardKeysym", none, 0x31, 0}),
        call({"NotifyKeyboardKeysym", none, 0x41, 1}),
        call({"NotifyKeyboardKeysym", none, 0x41, 0}),
        call({"NotifyKeyboardKeysym", none, 0xe9, 1}),
        call({"NotifyKeyboardKeysym", none, 0xe9, 0}),
        call({"NotifyKeyboardKeysym", none, 0xff0d, 1}),
        call({"NotifyKeyboardKeysym", none, 0xff0d, 0}),
    };
    QList<QJsonArray> notified;
    ASSERT_TRUE(waitUntil([&] {
        notified.clear();
        for (const QJsonValue& c : portal.calls())
            if (c[0].toString().startsWith("Notify")) notified.append(c.toArray());
        return notified.size() >= expected.size();
    }));
    ASSERT_EQ(notified.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(notified[i][0].toString(), expected[i][0].toString());
        EXPECT_EQ(notified[i][1].toObject(), expected[i][1].toObject());
        EXPECT_NEAR(notified[i][2].toDouble(), expected[i][2].toDouble(), 1e-9);
        EXPECT_NEAR(notified[i][3].toDouble(), expected[i][3].toDouble(), 1e-9);
    }
}
