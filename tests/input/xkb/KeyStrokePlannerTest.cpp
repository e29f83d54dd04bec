#include "input/xkb/KeyStrokePlanner.h"
#include "input/xkb/XKBKeymap.h"

#include <gtest/gtest.h>

#include <memory>

// Keymaps compiled from the system's keyboard data, as an X server with these layouts has them.
namespace {
constexpr xkb_keycode_t kShiftL = 50, kCapsLock = 66, kLevel3 = 92;

std::unique_ptr<XKBKeymap> keymapFor(const char* layout) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const xkb_rule_names names{"evdev", "pc105", layout, "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    if (!keymap) return nullptr;
    auto result = std::make_unique<XKBKeymap>(keymap, 0);
    xkb_keymap_unref(keymap);
    return result;
}

struct Planned {
    xkb_keycode_t key;
    QList<xkb_keycode_t> held;
    QList<xkb_keycode_t> toggled;
    bool operator==(const Planned&) const = default;
};

void PrintTo(const Planned& p, std::ostream* os) {
    *os << "key " << p.key << " held " << p.held.size() << " toggled " << p.toggled.size();
}

std::optional<Planned> plan(const XKBKeymap& keymap, const KeyboardState& state, char32_t c) {
    const std::optional<KeyStroke> s = KeyStrokePlanner(keymap, state).plan(c, {});
    if (!s) return std::nullopt;
    return Planned{s->key, s->held, s->toggled};
}
}  // namespace

TEST(KeyStrokePlanner, charactersOfTheLayoutGetTheirKeyAndTheModifiersOfTheirLevel) {
    const auto us = keymapFor("us");
    const auto fr = keymapFor("fr");
    ASSERT_TRUE(us && fr);
    const KeyboardState idle;
    EXPECT_EQ(plan(*us, idle, U'a'), (Planned{38, {}, {}}));
    EXPECT_EQ(plan(*us, idle, U'A'), (Planned{38, {kShiftL}, {}}));
    EXPECT_EQ(plan(*us, idle, U'!'), (Planned{10, {kShiftL}, {}}));
    EXPECT_EQ(plan(*us, idle, U'\r'), (Planned{36, {}, {}}));
    EXPECT_EQ(plan(*us, idle, U'é'), std::nullopt);
    EXPECT_EQ(plan(*fr, idle, U'a'), (Planned{24, {}, {}}));
    EXPECT_EQ(plan(*fr, idle, U'!'), (Planned{61, {}, {}}));
    EXPECT_EQ(plan(*fr, idle, U'é'), (Planned{11, {}, {}}));
    EXPECT_EQ(plan(*fr, idle, U'€'), (Planned{26, {kLevel3}, {}}));
}

TEST(KeyStrokePlanner, capsLockAndAHeldShiftAreWorkedAroundWithoutTouchingHeldKeys) {
    const auto us = keymapFor("us");
    ASSERT_TRUE(us);
    KeyboardState caps;
    caps.lockedMods = us->modMask(XKB_MOD_NAME_CAPS);
    EXPECT_EQ(plan(*us, caps, U'a'), (Planned{38, {kShiftL}, {}}));
    EXPECT_EQ(plan(*us, caps, U'A'), (Planned{38, {}, {}}));
    EXPECT_EQ(plan(*us, caps, U'1'), (Planned{10, {}, {}}));

    KeyboardState shiftHeld;
    shiftHeld.baseMods = us->modMask(XKB_MOD_NAME_SHIFT);
    shiftHeld.keysDown.set(kShiftL);
    EXPECT_EQ(plan(*us, shiftHeld, U'A'), (Planned{38, {}, {}}));
    // Shift and Caps Lock cancel out on letters; a digit has no such way and needs a spare key.
    EXPECT_EQ(plan(*us, shiftHeld, U'a'), (Planned{38, {}, {kCapsLock}}));
    EXPECT_EQ(plan(*us, shiftHeld, U'1'), std::nullopt);
}

TEST(KeyStrokePlanner, keypadKeysComeLastAndKeysInUseAreAvoided) {
    const auto fr = keymapFor("fr");
    ASSERT_TRUE(fr);
    KeyboardState numLock;
    numLock.lockedMods = fr->modMask(XKB_MOD_NAME_NUM);
    // Shift+& rather than the keypad's 1, though the keypad needs no modifier.
    EXPECT_EQ(plan(*fr, numLock, U'1'), (Planned{10, {kShiftL}, {}}));
    const auto onlyKeypad = KeyStrokePlanner(*fr, numLock).plan(U'1', {10});
    ASSERT_TRUE(onlyKeypad);
    EXPECT_EQ(onlyKeypad->key, 87u);
}

TEST(KeyStrokePlanner, aRemappedKeyNeedsCapsLockOffOnlyForCharactersWithCase) {
    const auto us = keymapFor("us");
    ASSERT_TRUE(us);
    KeyboardState caps;
    caps.lockedMods = us->modMask(XKB_MOD_NAME_CAPS);
    const KeyStrokePlanner planner(*us, caps);
    EXPECT_EQ(planner.planRemapped(200, XKB_KEY_eacute).toggled, QList<xkb_keycode_t>{kCapsLock});
    EXPECT_TRUE(planner.planRemapped(200, XKB_KEY_EuroSign).toggled.isEmpty());
    EXPECT_TRUE(KeyStrokePlanner(*us, {}).planRemapped(200, XKB_KEY_eacute).toggled.isEmpty());
}

TEST(XKBKeymap, textFollowsTheGroupAndSpareKeysHaveNoSymbols) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const xkb_rule_names names{"evdev", "pc105", "us,fr", "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    ASSERT_TRUE(keymap);
    const XKBKeymap us(keymap, 0), fr(keymap, 1);
    xkb_keymap_unref(keymap);
    EXPECT_EQ(us.text(16, false), "q");
    EXPECT_EQ(fr.text(16, false), "a");
    EXPECT_EQ(fr.text(2, true), "1");
    EXPECT_EQ(fr.text(200, false), "");
    ASSERT_FALSE(us.spareKeys().isEmpty());
    for (xkb_keycode_t key : us.spareKeys()) {
        EXPECT_FALSE(us.isModifierKey(key));
        EXPECT_EQ(us.text(quint16(key - XKBKeymap::kEvdevOffset), false), "") << key;
    }
    EXPECT_TRUE(us.isModifierKey(kShiftL));
    EXPECT_TRUE(us.isModifierKey(37));  // Control: a modifier, though never held for text
}
