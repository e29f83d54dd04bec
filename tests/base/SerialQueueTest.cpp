#include "base/SerialQueue.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace std::chrono_literals;

TEST(SerialQueue, runsTasksOneAtATimeInOrderSyncFromItselfInlineAndDelayedOnesLater) {
    SerialQueue queue("olvane.test");
    QList<int> order;
    std::atomic<int> running{0}, overlap{0};
    for (int i = 0; i < 200; ++i)
        queue.async([&, i] {
            if (++running > 1) ++overlap;
            order.append(i);
            --running;
        });
    std::atomic<bool> inner{false}, delayed{false};
    queue.after(200ms, [&] { delayed = true; });
    queue.sync([&] {
        EXPECT_TRUE(queue.isCurrent());
        queue.sync([&] { inner = true; });  // would wait for itself if queued
    });
    EXPECT_TRUE(inner);
    EXPECT_FALSE(queue.isCurrent());
    EXPECT_EQ(order.size(), 200);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(overlap, 0);
    EXPECT_FALSE(delayed);
    EXPECT_TRUE(waitUntil([&] { return delayed.load(); }));
}
