// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/uinput/UinputBackend.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

// This kernel has no uinput: the backend writes to pipes instead, one per device it makes, and
// the test reads back the input_event records a device would have received.
namespace {
// The codes the backend writes, which share no number.
#define NAMED(code) \
    { code, #code }
// clang-format off
const QHash<int, QString> kNames{
    NAMED(REL_X), NAMED(REL_Y), NAMED(REL_WHEEL), NAMED(REL_HWHEEL), NAMED(REL_WHEEL_HI_RES),
    NAMED(REL_HWHEEL_HI_RES), NAMED(BTN_LEFT), NAMED(BTN_RIGHT), NAMED(KEY_A), NAMED(KEY_ENTER),
    NAMED(KEY_LEFTSHIFT)};
// clang-format on

// Pipes in place of devices, one per device made, after as many refusals as the test sets.
struct Devices {
    std::vector<UniqueFd> readEnds;
    int refusals = 0;

    UinputBackend::DeviceFactory factory() {
        return [this](QString* error) {
            int fds[2] = {-1, -1};
            if (refusals > 0 && refusals--) return *error = "refused", UniqueFd();
            (void)pipe2(fds, O_CLOEXEC | O_NONBLOCK);
            readEnds.emplace_back(fds[0]);
            return UniqueFd(fds[1]);
        };
    }
    // What the last device received, as "code value", a SYN_REPORT ending each group with ";".
    QString take() const {
        QString out;
        input_event e;
        while (::read(readEnds.back().get(), &e, sizeof e) == ssize_t(sizeof e))
            out += e.type == EV_SYN && e.code == SYN_REPORT
                       ? QStringLiteral(";")
                       : QStringLiteral(" %1 %2").arg(kNames.value(e.code, "?")).arg(e.value);
        return out.trimmed();
    }
};
}  // namespace

TEST(UinputBackend, eachActionBecomesOneExactGroupOfRecords) {
    Devices devices;
    UinputBackend backend(devices.factory(), {"", "", "us", "", ""});
    backend.start();
    ASSERT_TRUE(backend.trusted());

    // Whole pixels; the fraction left over joins the next step.
    backend.postMove(PointerAction::Move, {}, {10.4, -3});
    backend.postMove(PointerAction::Move, {}, {0.3, 0});
    EXPECT_EQ(devices.take(), "REL_X 10 REL_Y -3; REL_X 1;");

    backend.postPointer(PointerAction::LeftDown, {}, 1);
    backend.postPointer(PointerAction::RightUp, {}, 1);
    EXPECT_EQ(devices.take(), "BTN_LEFT 1; BTN_RIGHT 0;");

    // 75 pixels are 1.5 notches of 50 (HiResWheel's test has the rest); left is the kernel's
    // negative horizontal.
    backend.postScroll(75, 75);
    EXPECT_EQ(devices.take(),
              "REL_WHEEL_HI_RES 180 REL_WHEEL 1 REL_HWHEEL_HI_RES -180 REL_HWHEEL -1;");

    backend.typeText("A\n");
    EXPECT_EQ(devices.take(),
              "KEY_LEFTSHIFT 1; KEY_A 1; KEY_A 0; KEY_LEFTSHIFT 0; KEY_ENTER 1; KEY_ENTER 0;");
}

// The phone reads "ax" from trusted(): false as soon as events stop arriving, true again once a
// new device takes them.
TEST(UinputBackend, aDeviceThatStopsTakingEventsTurnsAxFalseOnceAndANewOneIsMadeUntilOneWorks) {
    signal(SIGPIPE, SIG_IGN);  // a pipe nobody reads raises it; a device fails with an error
    LogCapture log;
    Devices devices;
    UinputBackend backend(devices.factory(), {});
    int trustChanges = 0;
    QObject::connect(&backend, &InputBackend::trustChanged, [&] { ++trustChanges; });
    backend.start();

    devices.readEnds.back().reset();
    devices.refusals = 1;
    backend.postPointer(PointerAction::LeftDown, {}, 1);
    EXPECT_FALSE(backend.trusted());
    backend.postKey(KEY_A, true);
    EXPECT_EQ(log.lines().filter("uinput: the virtual device stopped taking events").size(), 1);

    ASSERT_TRUE(waitUntil([&] { return backend.trusted(); }, 10000));  // refused once, then made
    EXPECT_EQ(devices.readEnds.size(), 2u);
    EXPECT_EQ(trustChanges, 3);
    backend.postPointer(PointerAction::LeftDown, {}, 1);
    EXPECT_EQ(devices.take(), "BTN_LEFT 1;");
}
