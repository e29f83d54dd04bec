// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/uinput/UinputBackend.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

// This kernel has no uinput: the backend writes to a pipe instead, and the test reads back the
// input_event records a device would have received.
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

struct PipeDevice {
    int fds[2] = {-1, -1};
    PipeDevice() { (void)pipe2(fds, O_CLOEXEC | O_NONBLOCK); }
    ~PipeDevice() { ::close(fds[0]); }  // the backend owns the other end

    // The records so far, as "code value", a SYN_REPORT ending each group with ";".
    QString take() const {
        QString out;
        input_event e;
        while (::read(fds[0], &e, sizeof e) == ssize_t(sizeof e))
            out += e.type == EV_SYN && e.code == SYN_REPORT
                       ? QStringLiteral(";")
                       : QStringLiteral(" %1 %2").arg(kNames.value(e.code, "?")).arg(e.value);
        return out.trimmed();
    }
};
}  // namespace

TEST(UinputBackend, eachActionBecomesOneExactGroupOfRecords) {
    PipeDevice device;
    UinputBackend backend([&](QString*) { return device.fds[1]; }, {"", "", "us", "", ""});
    backend.start();
    ASSERT_TRUE(backend.trusted());

    // Whole pixels; the fraction left over joins the next step.
    backend.postMove(PointerAction::Move, {}, {10.4, -3});
    backend.postMove(PointerAction::Move, {}, {0.3, 0});
    EXPECT_EQ(device.take(), "REL_X 10 REL_Y -3; REL_X 1;");

    backend.postPointer(PointerAction::LeftDown, {}, 1);
    backend.postPointer(PointerAction::RightUp, {}, 1);
    EXPECT_EQ(device.take(), "BTN_LEFT 1; BTN_RIGHT 0;");

    // 75 pixels are 1.5 notches of 50: 180 high-resolution units and one classic notch; the
    // half notch left completes the next one. Left is the kernel's negative horizontal.
    backend.postScroll(75, 0);
    backend.postScroll(75, 0);
    backend.postScroll(0, 75);
    EXPECT_EQ(device.take(),
              "REL_WHEEL_HI_RES 180 REL_WHEEL 1; REL_WHEEL_HI_RES 180 REL_WHEEL 2; "
              "REL_HWHEEL_HI_RES -180 REL_HWHEEL -1;");

    backend.typeText("A\n");
    EXPECT_EQ(device.take(),
              "KEY_LEFTSHIFT 1; KEY_A 1; KEY_A 0; KEY_LEFTSHIFT 0; KEY_ENTER 1; KEY_ENTER 0;");
}
