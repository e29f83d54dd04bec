// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/InputHarness.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

// A backend handed over only once the desktop has been probed, as the automatic choice does.
TEST(InputStart, untilItsBackendIsThereInputIsDroppedWithOneLineThenAllOfItReachesTheBackend) {
    LogCapture log;
    Input::UseBackend use;
    auto clock = std::make_unique<ManualInputClock>();
    ManualInputClock& ticks = *clock;
    Input input([&](QObject*, Input::UseBackend later) { use = std::move(later); },
                std::move(clock), {});
    std::atomic<int> started = 0;
    QObject::connect(&input, &Input::started, [&] { ++started; });
    input.pressKey("a", {});
    input.moveBy(5, 0);
    input.typeText("lost");
    ticks.tickUntilStopped(input, 100);
    EXPECT_TRUE(input.starting());
    EXPECT_FALSE(input.trusted());
    EXPECT_EQ(log.lines().filter("no input backend chosen yet").size(), 1);

    RecordingBackend* backend = nullptr;
    input.queue().sync([&] {
        backend = new RecordingBackend;
        backend->cursor = QPointF(300, 200);
        backend->displays = {QRectF(0, 0, 1920, 1080)};
        backend->layout = {{{16, false}, "a"}};  // AZERTY: where QWERTY has its q
        use(std::unique_ptr<InputBackend>(backend));
    });
    EXPECT_FALSE(input.starting());
    EXPECT_TRUE(input.trusted());
    EXPECT_EQ(input.backendName(), "recording");
    EXPECT_EQ(started, 1);
    // The pointer starts from the cursor, and keys by character come from this backend's
    // layout, not from the stand-in's lack of one.
    input.pressKey("a", {});
    input.moveBy(1.5, 0);  // in one step
    ticks.tickUntilStopped(input, 100);
    input.queue().sync([] {});
    const QList<InputHarness::Event> events = backend->takeEvents();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].key, 16);
    EXPECT_EQ(events[1].key, -16);
    EXPECT_EQ(events[2].at, QPointF(301.5, 200));
}
