// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/InputHarness.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <cmath>
#include <thread>

using Kind = InputHarness::Event::Kind;

TEST(InputPointer, aMoveDrainsInDecayingStepsAndAfterARestTheNextMoveStartsTheTickerAgain) {
    InputHarness h;
    h.input->moveBy(100, 0);
    const auto events = h.drain();
    // 45 % of what is pending each tick, and under 2 points the rest at once.
    ASSERT_EQ(events.size(), 8);
    EXPECT_EQ(events[0].at, QPointF(545, 500));
    EXPECT_EQ(events[1].at, QPointF(569.75, 500));
    EXPECT_NEAR(events[6].at.x(), 598.48, 0.01);
    EXPECT_NEAR(events[7].at.x(), 600, 1e-9);

    // Up to the dead zone a move waits, then goes with the next.
    h.input->moveBy(0.05, 0);
    EXPECT_TRUE(h.drain().isEmpty());
    h.input->moveBy(0.05, -1);
    const auto rest = h.drain();
    ASSERT_EQ(rest.size(), 1);
    EXPECT_NEAR(rest[0].at.x(), 600.1, 1e-9);
}

// Motion after a rest goes out at once, unless its tick is about to come anyway; the ticks
// are then counted from that step, so steps stay a tick apart however fast moves arrive.
TEST(InputPointer, aMoveAfterARestIsPostedAtOnceAndTheNextTickComesAFullTickLater) {
    InputHarness h;
    h.input->moveBy(1, 0);
    h.advance(0.005);  // its first tick posts it, the next one finds nothing to do
    EXPECT_EQ(h.take().size(), 1);
    h.input->moveBy(1, 0);  // 3 ms before the next tick
    EXPECT_EQ(h.take().size(), 1);

    h.advance(0.001);
    h.input->moveBy(0.5, 0);
    h.input->moveBy(0.5, 0);
    h.advance(0.0029);  // past where the ticks fell before
    EXPECT_TRUE(h.take().isEmpty());
    h.advance(0.0001);
    const auto together = h.take();
    ASSERT_EQ(together.size(), 1);
    EXPECT_EQ(together[0].at, QPointF(503, 500));

    h.advance(0.0075);  // a tick with nothing to do, and 0.5 ms before the next one
    h.input->moveBy(1, 0);
    EXPECT_TRUE(h.take().isEmpty());
    h.advance(0.0005);
    EXPECT_EQ(h.take().size(), 1);

    h.advance(0.005);
    h.input->scroll(0, 1);  // scrolling starts the same way
    EXPECT_EQ(h.take().value(0).kind, Kind::Scroll);

    h.drain();
    for (int i = 0; i < 200; ++i) {  // 10,000 moves a second for 20 ms
        h.input->moveBy(0.1, 0);
        h.advance(0.0001);
    }
    auto events = h.take();
    EXPECT_LE(events.size(), 6);
    events += h.drain();
    ASSERT_FALSE(events.isEmpty());
    EXPECT_NEAR(events.last().at.x(), 524, 1e-9);
}

TEST(InputPointer, theRealCursorIsTakenUpOnlyAfterAQuietSpellAndBeyondTwoPoints) {
    InputHarness h;
    auto clickWithCursorAt = [&](QPointF cursor) {
        h.flush();
        h.backend->cursor = cursor;
        h.input->click(false, 1);
        return h.take().last().at;
    };
    h.input->click(false, 1);                                     // our last event, now
    EXPECT_EQ(clickWithCursorAt({800, 800}), QPointF(500, 500));  // within 0.15 s of it
    h.advance(0.2);
    EXPECT_EQ(clickWithCursorAt({502, 498}), QPointF(500, 500));  // drift, 2 points
    h.advance(0.2);
    EXPECT_EQ(clickWithCursorAt({502.5, 500}), QPointF(502.5, 500));  // someone moved the mouse
}

TEST(InputScroll, drainsInWholeStepsAndEndsOnceWhenItHasRestedWhateverThePointerDoes) {
    InputHarness h;
    h.input->scroll(0, -10);
    h.input->moveBy(10000, 0);  // moving on long after the last scroll step
    QList<int> steps;
    int tick = 0, endedAt = 0, ends = 0;
    while (h.tick() && ++tick < 1000)
        for (const auto& e : h.take()) {
            if (e.kind == Kind::Scroll) steps.append(e.vertical);
            if (e.kind == Kind::ScrollEnd) endedAt = tick, ++ends;
        }
    EXPECT_EQ(steps, (QList<int>{-4, -2, -1, -1}));  // 2 stay pending
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(endedAt, 4 + 51);  // 51 ticks of 4 ms without a step: about 0.2 s
}

TEST(InputQueue, throttleHoldsTheCallerBackOnlyWhileTheQueueOrTheBackendIsFarBehind) {
    InputHarness h;
    std::atomic<bool> busy = true;
    h.input->queue().async([&] {
        while (busy) QThread::yieldCurrentThread();
    });
    h.input->typeText("a");
    h.input->throttle();            // one operation waiting: returns at once, or this test hangs
    const int queued = 1024 + 100;  // beyond the 1024 that may wait
    for (int i = 1; i < queued; ++i) h.input->typeText("a");
    EXPECT_EQ(h.input->backlog(), queued);
    busy = false;
    h.input->throttle();
    EXPECT_EQ(h.input->backlog(), 0);
    EXPECT_EQ(h.take().size(), queued);

    // A backend holding over 256 operations holds readers back; one that may not wait resumes.
    h.input->queue().sync([&] { h.backend->hold(257); });
    bool resumed = false;
    EXPECT_TRUE(h.input->holdBack([&] { resumed = true; }));
    std::thread reader([&] { h.input->throttle(); });
    h.input->queue().sync([&] { h.backend->hold(256); });
    reader.join();
    EXPECT_TRUE(waitUntil([&] { return resumed; }));
}

TEST(InputKeyboard,
     aCharacterGoesOnTheFirstKeyOfTheLayoutGivingItElseAsTextAndUnknownNamesPostNothing) {
    InputHarness h;
    // Characters by evdev code and Shift, as a US layout has them, and a later key that also
    // gives "1" with Shift, and one of several characters of which the first counts.
    h.backend->layout = {{{2, false}, "1"}, {{2, true}, "!"},  {{30, false}, "a"},
                         {{30, true}, "A"}, {{40, true}, "1"}, {{5, false}, "Éx"}};
    for (const char* name : {"Return", "A", "1", "!", "é"}) h.input->pressKey(name, {});
    QList<int> keys;
    for (const auto& e : h.take()) keys.append(e.key);
    EXPECT_EQ(keys, (QList<int>{28, -28, 30, -30, 2, -2, 2, -2, 5, -5}));

    // Nothing of a key that does not exist, not even its modifiers.
    for (const char* name : {"f5", "", "ab"}) h.input->pressKey(name, {"ctrl"});
    EXPECT_TRUE(h.take().isEmpty());

    // A character of no key of the map (AltGr's €, say) is typed as text would be, lower-cased
    // as the map's characters are, inside the modifiers asked for.
    h.input->pressKey("Ž", {"shift", "ctrl"});
    QStringList posted;
    for (const auto& e : h.take())
        posted << (e.kind == Kind::Text ? e.text : QString::number(e.key));
    EXPECT_EQ(posted.join(' '), "29 42 ž -42 -29");
}

// A sound server that keeps what it is told and answers once the test lets it (or after half
// a minute, so that input waiting for it fails the test instead of hanging it).
struct HangingVolume : RecordingVolume {
    std::atomic<bool> hung = true;
    QDeadlineTimer patience{30000};
    std::optional<Reading> get() override {
        waitForAnswer();
        return RecordingVolume::get();
    }
    void set(float value) override {
        waitForAnswer();
        RecordingVolume::set(value);
        reading = value;
    }
    void waitForAnswer() const {
        while (hung && !patience.hasExpired()) QThread::yieldCurrentThread();
    }
};

TEST(InputVolume, aSoundServerThatDoesNotAnswerHoldsUpNoInputAndLaterCommandsWaitInOrder) {
    InputHarness h;
    LogCapture log;
    auto owned = std::make_unique<HangingVolume>();
    HangingVolume* volume = owned.get();
    volume->reading = 0.5f;
    h.input->setVolumeControl(std::move(owned));
    h.input->mediaKey("VolumeUp");
    h.input->setVolume(30);
    h.input->moveBy(1, 0);
    h.input->pressKey("return", {});
    h.clock->tickUntilStopped(*h.input, 100);
    EXPECT_EQ(h.backend->takeEvents().size(), 3);
    EXPECT_FALSE(volume->patience.hasExpired());

    // Beyond what may wait, a reading is answered at once as unreadable, and logged once.
    QList<int> answers;
    for (int i = 0; i < 1000; ++i)
        h.input->getVolume([&](int percent, bool, bool) { answers << percent; });
    const qsizetype answeredAtOnce = answers.size();
    EXPECT_GE(answeredAtOnce, 900);
    EXPECT_EQ(answers.count(50), answeredAtOnce);
    volume->hung = false;
    h.flush();
    EXPECT_EQ(volume->writes, (QList<float>{0.5625f, 0.3f}));
    EXPECT_EQ(answers.size(), 1000);
    EXPECT_EQ(answers.count(30), 1000 - answeredAtOnce);
    EXPECT_EQ(log.lines().filter("dropped").size(), 1);
}

// What a sound server never reads: no number, or none at all.
TEST(InputVolume, aLevelThatIsNotAFiniteNumberCountsAsOneHalfAndNoStepIsTakenFromIt) {
    InputHarness h;
    auto owned = std::make_unique<RecordingVolume>();
    RecordingVolume* volume = owned.get();
    h.input->setVolumeControl(std::move(owned));
    volume->reading = std::nanf("");
    int percent = -1;
    h.input->getVolume([&](int p, bool, bool) { percent = p; });
    h.flush();
    EXPECT_EQ(percent, 50);
    h.input->mediaKey("volumedown");
    h.flush();
    volume->reading.reset();
    h.input->mediaKey("volumeup");
    h.flush();
    EXPECT_TRUE(volume->writes.isEmpty());
}
