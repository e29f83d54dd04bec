// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/InputHarness.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

// A backend handed over only once the desktop has been probed, as the automatic choice does.
TEST(InputStart, untilItsBackendIsThereInputIsDroppedWithOneLineThenAllOfItReachesTheBackend) {
    LogCapture log;
    Input::UseBackend use;
    auto* clock = new ManualInputClock;
    Input input([&](QObject*, Input::UseBackend later) { use = std::move(later); },
                std::unique_ptr<InputClock>(clock), {});
    std::atomic<int> started = 0;
    QObject::connect(&input, &Input::started, [&] { ++started; });
    auto pressAAndMove = [&] {
        input.pressKey("a", {});
        input.moveBy(1.5, 0);  // in one step
        clock->tickUntilStopped(input, 100);
    };
    pressAAndMove();
    EXPECT_TRUE(input.starting() && !input.trusted());
    EXPECT_EQ(log.lines().filter("no input backend chosen yet").size(), 1);

    auto* backend = new RecordingBackend;
    backend->cursor = QPointF(300, 200);
    backend->layout = {{{16, false}, "a"}};  // AZERTY: where QWERTY has its q
    backend->moveToThread(input.queue().context()->thread());
    input.queue().sync([&] { use(std::unique_ptr<InputBackend>(backend)); });
    EXPECT_TRUE(!input.starting() && input.trusted() && started == 1);
    // From the cursor, and by this backend's layout, not by the stand-in's lack of one.
    pressAAndMove();
    input.queue().sync([] {});
    const QList<InputHarness::Event> events = backend->takeEvents();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(QList<int>({events[0].key, events[1].key}), QList<int>({16, -16}));
    EXPECT_EQ(events[2].at, QPointF(301.5, 200));
}
