#include "support/InputHarness.h"

#include <gtest/gtest.h>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

using Kind = RecordingBackend::Event::Kind;

namespace {
QList<double> stepsX(const QList<RecordingBackend::Event>& events, QPointF& from) {
    QList<double> steps;
    for (const auto& e : events) {
        if (e.kind != Kind::Pointer) continue;
        steps.append(e.at.x() - from.x());
        from = e.at;
    }
    return steps;
}
}  // namespace

TEST(InputPointer, largeMoveIsPostedAsFortyFivePercentStepsThenTheRemainder) {
    InputHarness h;
    h.input->moveBy(100, 0);
    QPointF from(500, 500);
    QList<double> steps;
    for (int i = 0; i < 10; ++i) {
        h.tick();
        steps += stepsX(h.take(), from);
    }
    const QList<double> expected = {45,         24.75,        13.6125,       7.486875,
                                    4.11778125, 2.2647796875, 1.24562882812, 1.52243523438};
    ASSERT_EQ(steps.size(), expected.size());
    for (int i = 0; i < steps.size(); ++i) EXPECT_NEAR(steps[i], expected[i], 1e-9) << i;
    EXPECT_NEAR(from.x(), 600, 1e-9);
}

TEST(InputPointer, aMoveCarriesTheStepAsAskedBesideTheClampedPosition) {
    InputHarness h;
    h.input->moveBy(4000, 0);
    h.tick();
    const auto events = h.take();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].at, QPointF(1919, 500));
    EXPECT_EQ(events[0].step, QPointF(1800, 0));
}

TEST(InputPointer, smallMoveIsPostedWholeAndDeadZoneResidueStaysPending) {
    InputHarness h;
    h.input->moveBy(1, 0);
    h.tick();
    auto events = h.take();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].at, QPointF(501, 500));

    h.input->moveBy(0.05, 0);  // exactly the dead zone: nothing posted
    h.tick();
    EXPECT_TRUE(h.take().isEmpty());
    h.input->moveBy(0.05, 0);  // the residue is added to, then posted whole
    h.tick();
    events = h.take();
    ASSERT_EQ(events.size(), 1);
    EXPECT_NEAR(events[0].at.x(), 501.1, 1e-9);
}

TEST(InputPointer, magnitudeOfExactlyTwoTakesAFortyFivePercentStep) {
    InputHarness h;
    h.input->moveBy(1, -1);
    h.tick();
    const auto events = h.take();
    ASSERT_EQ(events.size(), 1);
    EXPECT_NEAR(events[0].at.x(), 500.45, 1e-9);
    EXPECT_NEAR(events[0].at.y(), 499.55, 1e-9);
}

TEST(InputPointer, tickerStopsOnTheFiftyFirstIdleTickAndRestartsWithTheNextMove) {
    InputHarness h;
    h.input->moveBy(1, 0);
    h.tick();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(h.tick());
    EXPECT_TRUE(h.clock->running());
    h.tick();
    EXPECT_FALSE(h.clock->running());

    h.input->moveBy(1, 0);
    h.flush();
    EXPECT_EQ(h.clock->starts(), 2);
    h.tick();
    EXPECT_EQ(h.take().size(), 2);
}

TEST(InputPointer, nonFiniteDeltasAreDroppedAndLeaveThePendingMoveIntact) {
    InputHarness h;
    const double inf = std::numeric_limits<double>::infinity();
    h.input->moveBy(1, 0);
    h.input->moveBy(std::nan(""), 0);
    h.input->moveBy(0, -inf);
    h.input->scroll(inf, 0);
    h.tick();
    const auto events = h.take();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].at, QPointF(501, 500));
}

TEST(InputPointer, hugeFiniteMovesThatAddUpBeyondADoubleLeaveThePointerWorking) {
    InputHarness h;
    const double huge = std::numeric_limits<double>::max() / 2;
    for (int i = 0; i < 3; ++i) h.input->moveBy(huge, huge);
    h.clock->tickUntilStopped(*h.input, 1000);
    QList<RecordingBackend::Event> events = h.take();
    ASSERT_FALSE(events.isEmpty());
    const QPointF corner = events.last().at;  // the last pixel of the display
    EXPECT_TRUE(corner.x() >= 1919 && corner.x() < 1920 && corner.y() >= 1079 && corner.y() < 1080)
        << corner.x() << " " << corner.y();

    h.input->moveBy(-10, -10);
    h.clock->tickUntilStopped(*h.input, 1000);
    events = h.take();
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last().at, corner - QPointF(10, 10));
}

TEST(InputPointer, realCursorIsAdoptedOnlyAfterAQuietSpellAndBeyondTwoPoints) {
    InputHarness h;
    h.input->moveBy(1, 0);
    h.tick();  // pos 501,500, injected now
    h.backend->setCursor(QPointF(800, 800));
    h.input->click(false, 1);  // within 0.15 s: the real cursor is not consulted
    EXPECT_EQ(h.take().last().at, QPointF(501, 500));

    h.clock->advance(0.2);
    h.backend->setCursor(QPointF(503, 498));  // 2.0 off: drift is ignored
    h.input->click(false, 1);
    EXPECT_EQ(h.take().last().at, QPointF(501, 500));

    h.clock->advance(0.2);
    h.backend->setCursor(QPointF(503.5, 500));  // 2.5 off: someone moved the mouse
    h.input->click(false, 1);
    EXPECT_EQ(h.take().last().at, QPointF(503.5, 500));
}

TEST(InputButtons, clickFlushesThePendingMoveThenPressesAndReleasesThere) {
    InputHarness h;
    h.input->moveBy(30, 0);
    h.input->click(false, 0);
    h.input->click(true, 2);
    const auto events = h.take();
    ASSERT_EQ(events.size(), 5);
    EXPECT_EQ(events[0].action, PointerAction::Move);
    EXPECT_EQ(events[0].at, QPointF(530, 500));
    EXPECT_EQ(events[1].action, PointerAction::LeftDown);
    EXPECT_EQ(events[2].action, PointerAction::LeftUp);
    EXPECT_EQ(events[1].clickState, 1);
    EXPECT_EQ(events[3].action, PointerAction::RightDown);
    EXPECT_EQ(events[4].action, PointerAction::RightUp);
    EXPECT_EQ(events[4].clickState, 2);
    for (const auto& e : events) EXPECT_EQ(e.at, QPointF(530, 500));
}

TEST(InputButtons, dragPostsMovesAsDragsAndReleasesAtTheFinalPosition) {
    InputHarness h;
    h.input->dragState(true);
    h.input->moveBy(1, 1);
    h.tick();
    h.input->moveBy(0, 20);
    h.input->dragState(false);
    h.input->moveBy(1, 0);
    h.tick();
    const auto events = h.take();
    ASSERT_EQ(events.size(), 5);
    EXPECT_EQ(events[0].action, PointerAction::LeftDown);
    EXPECT_EQ(events[1].action, PointerAction::Drag);
    EXPECT_EQ(events[2].action, PointerAction::Drag);  // the flush before the release
    EXPECT_EQ(events[3].action, PointerAction::LeftUp);
    EXPECT_EQ(events[3].at, QPointF(501, 521));
    EXPECT_EQ(events[4].action, PointerAction::Move);
}

TEST(InputButtons, releaseHeldButtonOnlyReleasesADrag) {
    InputHarness h;
    h.input->releaseHeldButton();
    EXPECT_TRUE(h.take().isEmpty());
    h.input->dragState(true);
    h.input->releaseHeldButton();
    h.input->releaseHeldButton();
    const auto events = h.take();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[1].action, PointerAction::LeftUp);
}

TEST(InputScroll, drainsInTruncatedStepsAndKeepsTheFractionPending) {
    InputHarness h;
    auto vertical = [&](int ticks) {
        QList<int> steps;
        for (int i = 0; i < ticks; ++i) {
            h.tick();
            for (const auto& e : h.take()) steps.append(e.vertical);
        }
        return steps;
    };
    h.input->scroll(0, 10);
    EXPECT_EQ(vertical(6), (QList<int>{4, 2, 1, 1}));
    h.input->scroll(0, 1);  // 2 pending + 1
    EXPECT_EQ(vertical(2), (QList<int>{1}));

    InputHarness down;
    down.input->scroll(0, -10);
    QList<int> steps;
    for (int i = 0; i < 6; ++i) {
        down.tick();
        for (const auto& e : down.take()) steps.append(e.vertical);
    }
    EXPECT_EQ(steps, (QList<int>{-4, -2, -1, -1}));
}

TEST(InputScroll, aScrollEndsOnceWhenItHasRestedAsLongAsTheTimerWaitsAndMovesNeverEndOne) {
    InputHarness h;
    auto ends = [&] {
        const auto events = h.take();
        return std::count_if(events.begin(), events.end(),
                             [](const auto& e) { return e.kind == Kind::ScrollEnd; });
    };
    h.input->moveBy(100, 0);
    for (int i = 0; i < 70; ++i) h.tick();
    EXPECT_EQ(ends(), 0);

    h.input->scroll(0, 10);
    for (int i = 0; i < 4; ++i) h.tick();  // the steps
    h.input->moveBy(10, 0);                // motion while the scroll rests does not delay its end
    for (int i = 0; i < Input::kIdleTicksBeforeStop - 1; ++i) h.tick();
    EXPECT_EQ(ends(), 0);
    h.tick();
    EXPECT_EQ(ends(), 1);
    for (int i = 0; i < 60; ++i) h.tick();
    EXPECT_EQ(ends(), 0);
}

TEST(InputScroll, horizontalGoesToTheSecondWheelAndHugeAmountsStayWithinThirtyTwoBits) {
    InputHarness h;
    h.input->scroll(1.5, 0);
    h.tick();
    auto events = h.take();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].horizontal, 1);
    EXPECT_EQ(events[0].vertical, 0);

    h.input->scroll(0, 1e300);
    for (int i = 0; i < 3; ++i) h.tick();
    events = h.take();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].vertical, std::numeric_limits<qint32>::max() * 45LL / 100);
    for (const auto& e : events) EXPECT_GT(e.vertical, 0);
}

TEST(InputQueue, throttleHoldsTheCallerBackOnlyWhileTheQueueIsFarBehind) {
    InputHarness h;
    std::atomic<bool> busy = true;
    h.input->queue().async([&] {
        while (busy) QThread::yieldCurrentThread();
    });
    h.input->typeText(QStringLiteral("a"));
    h.input->throttle();  // one operation waiting: returns at once, or this test hangs
    const int queued = Input::kMaxBacklog + 100;
    for (int i = 1; i < queued; ++i) h.input->typeText(QStringLiteral("a"));
    EXPECT_EQ(h.input->backlog(), queued);
    busy = false;
    h.input->throttle();
    EXPECT_EQ(h.input->backlog(), 0);
    EXPECT_EQ(h.backend->events().size(), queued);
}
