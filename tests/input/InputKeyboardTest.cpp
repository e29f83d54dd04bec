#include "input/LayoutMap.h"
#include "support/InputHarness.h"

#include <gtest/gtest.h>

using Kind = RecordingBackend::Event::Kind;

namespace {
// A US layout's number row and two letters, as evdev codes.
RecordingBackend::Layout usLayout() {
    return {
        {{2, false}, "1"},  {{2, true}, "!"},  {{3, false}, "2"},  {{3, true}, "@"},
        {{30, false}, "a"}, {{30, true}, "A"}, {{16, false}, "q"}, {{16, true}, "Q"},
    };
}

// Key events as signed codes: +code for a press, -code for a release.
QList<int> keys(const QList<RecordingBackend::Event>& events) {
    QList<int> out;
    for (const auto& e : events)
        if (e.kind == Kind::Key) out.append(e.down ? e.key : -e.key);
    return out;
}
}  // namespace

TEST(LayoutMapRule, firstKeyWinsShiftOnlyAddsNewCharactersAndCaseFolds) {
    RecordingBackend::Layout layout = usLayout();
    layout.insert({40, true}, "1");   // a later key that also gives "1" with Shift
    layout.insert({5, false}, "Éx");  // only the first character counts, lower-cased
    RecordingBackend source;
    source.setLayout(layout);
    const LayoutMap map = buildLayoutMap(*source.keySymbols());
    EXPECT_EQ(map.value("1"), 2);
    EXPECT_EQ(map.value("!"), 2);
    EXPECT_EQ(map.value("a"), 30);
    EXPECT_FALSE(map.contains("A"));
    EXPECT_EQ(map.value(QString::fromUtf8("é")), 5);
}

TEST(InputKeyboard, namedKeysAndLayoutCharactersArePressedWithModifiersAroundThem) {
    InputHarness h;
    h.backend->setLayout(usLayout());
    h.input->pressKey("Return", {});
    EXPECT_EQ(keys(h.take()), (QList<int>{28, -28}));

    h.input->pressKey("a", {"CMD", "Shift", "shift"});
    EXPECT_EQ(keys(h.take()), (QList<int>{29, 42, 30, -30, -42, -29}));

    h.input->pressKey("A", {});
    h.input->pressKey("!", {});  // the 1 key, and no Shift added
    EXPECT_EQ(keys(h.take()), (QList<int>{30, -30, 2, -2}));

    h.input->pressKey("left", {"super", "opt", "hyper"});
    EXPECT_EQ(keys(h.take()), (QList<int>{56, 125, 105, -105, -125, -56}));
}

TEST(InputKeyboard, unknownNamesAndCharactersOutsideTheLayoutPostNothing) {
    InputHarness h;
    h.backend->setLayout(usLayout());
    for (const char* name : {"f5", "", "ab", "z"}) h.input->pressKey(name, {"ctrl"});
    EXPECT_TRUE(h.take().isEmpty());
}

TEST(InputKeyboard, textIsHandedOverWholeAndEmptyTextIsNot) {
    InputHarness h;
    h.input->typeText("");
    h.input->typeText(QString::fromUtf8("héllo 👋"));
    const auto events = h.take();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].text, QString::fromUtf8("héllo 👋"));
}
