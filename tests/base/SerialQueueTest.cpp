#include "base/SerialQueue.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

using namespace std::chrono_literals;

TEST(SerialQueue, runsTasksOneAtATimeInOrderOnItsOwnNamedThread) {
    SerialQueue queue("olvane.test");
    std::mutex m;
    QList<int> order;
    std::atomic<int> running{0}, overlap{0};
    for (int i = 0; i < 200; ++i)
        queue.async([&, i] {
            if (++running > 1) ++overlap;
            std::lock_guard lock(m);
            order.append(i);
            --running;
        });
    QString threadName;
    bool current = false;
    queue.sync([&] {
        threadName = QThread::currentThread()->objectName();
        current = queue.isCurrent();
    });
    EXPECT_EQ(order.size(), 200);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(overlap, 0);
    EXPECT_EQ(threadName, "olvane.test");
    EXPECT_TRUE(current);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, syncFromTheQueueItselfRunsInlineAndAfterRunsLater) {
    SerialQueue queue("olvane.test");
    QList<QString> steps;
    queue.sync([&] {
        queue.sync([&] { steps.append("inner"); });
        steps.append("outer");
    });
    EXPECT_EQ(steps, (QList<QString>{"inner", "outer"}));

    std::atomic<bool> fired{false};
    queue.after(20ms, [&] { fired = true; });
    queue.sync([] {});
    EXPECT_FALSE(fired);
    EXPECT_TRUE(waitUntil([&] { return fired.load(); }));
}
