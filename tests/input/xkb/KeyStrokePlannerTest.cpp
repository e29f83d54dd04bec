#include "input/xkb/ConfiguredLayout.h"
#include "input/xkb/KeyStrokePlanner.h"

#include <gtest/gtest.h>

// Keymaps compiled from the system's keyboard data, as an X server with these layouts has them.
namespace {
constexpr xkb_keycode_t kShiftL = 50, kCapsLock = 66, kLevel3 = 92;

struct Planned {
    xkb_keycode_t key = 0;
    QList<xkb_keycode_t> held, toggled;
    bool operator==(const Planned&) const = default;
};

void PrintTo(const Planned& p, std::ostream* os) {
    *os << "key " << p.key << " held " << p.held.size() << " toggled " << p.toggled.size();
}

std::optional<Planned> plan(const XKBKeymap& keymap, const KeyboardState& state, char32_t c,
                            const QSet<xkb_keycode_t>& avoid = {}) {
    const std::optional<KeyStroke> s = KeyStrokePlanner(keymap, state).plan(c, avoid);
    if (!s) return std::nullopt;
    return Planned{s->key, s->held, s->toggled};
}
}  // namespace

TEST(KeyStrokePlanner, aCharacterGetsTheModifiersOfItsLevelAroundLocksAndKeysAlreadyDown) {
    const auto us = ConfiguredLayout::compile({"", "", "us", "", ""});
    const auto fr = ConfiguredLayout::compile({"", "", "fr", "", ""});
    ASSERT_TRUE(us && fr);
    KeyboardState idle, caps, shiftHeld, numLock;
    caps.lockedMods = us->modMask(XKB_MOD_NAME_CAPS);
    shiftHeld.baseMods = us->modMask(XKB_MOD_NAME_SHIFT);
    shiftHeld.keysDown.set(kShiftL);
    numLock.lockedMods = fr->modMask(XKB_MOD_NAME_NUM);
    const struct {
        const XKBKeymap& keymap;
        const KeyboardState& state;
        char32_t character;
        std::optional<Planned> planned;
    } cases[] = {
        {*us, idle, U'A', Planned{38, {kShiftL}, {}}},
        {*fr, idle, U'€', Planned{26, {kLevel3}, {}}},
        {*us, idle, U'é', std::nullopt},  // for a spare key lent to it
        {*us, caps, U'a', Planned{38, {kShiftL}, {}}},
        {*us, caps, U'A', Planned{38, {}, {}}},
        {*us, caps, U'1', Planned{10, {}, {}}},
        // The held Shift is used, never released: Caps Lock cancels it, but on letters only.
        {*us, shiftHeld, U'A', Planned{38, {}, {}}},
        {*us, shiftHeld, U'a', Planned{38, {}, {kCapsLock}}},
        {*us, shiftHeld, U'1', std::nullopt},
        // Shift+& rather than the keypad's 1, though the keypad needs no modifier.
        {*fr, numLock, U'1', Planned{10, {kShiftL}, {}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plan(c.keymap, c.state, c.character), c.planned) << uint(c.character);
    // The keypad when the other keys are in use.
    EXPECT_EQ(plan(*fr, numLock, U'1', {10}).value_or(Planned{}).key, 87u);

    // A lent key has the character on both levels: only Caps Lock can change a letter on it.
    const KeyStrokePlanner locked(*us, caps);
    EXPECT_EQ(locked.planRemapped(200, XKB_KEY_eacute).toggled, QList<xkb_keycode_t>{kCapsLock});
    EXPECT_TRUE(locked.planRemapped(200, XKB_KEY_EuroSign).toggled.isEmpty());
    EXPECT_TRUE(KeyStrokePlanner(*us, idle).planRemapped(200, XKB_KEY_eacute).toggled.isEmpty());
}

TEST(XKBKeymap, textFollowsTheGroupAndSpareKeysHaveNoSymbolAndSetNoModifier) {
    const auto us = ConfiguredLayout::compile({"", "", "us,fr", "", ""});
    ASSERT_TRUE(us);
    const XKBKeymap fr(us->keymap(), 1);
    EXPECT_EQ(us->text(16, false), "q");
    EXPECT_EQ(fr.text(16, false), "a");
    EXPECT_EQ(fr.text(2, true), "1");
    ASSERT_FALSE(us->spareKeys().isEmpty());
    for (xkb_keycode_t key : us->spareKeys()) {
        EXPECT_FALSE(us->isModifierKey(key));
        EXPECT_EQ(fr.text(quint16(key - XKBKeymap::kEvdevOffset), false), "") << key;
    }
    EXPECT_TRUE(us->isModifierKey(37));  // Control: a modifier, though never held for text
}
