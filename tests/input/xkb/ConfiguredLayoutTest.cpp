#include "input/xkb/ConfiguredLayout.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
QString writeFile(const QTemporaryDir& dir, const char* name, const char* text) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}
}  // namespace

TEST(ConfiguredLayout, environmentThenDebianThenSystemdSettingsAndTheKeymapTypesThem) {
    QTemporaryDir dir;
    const QString debian = writeFile(dir, "keyboard",
                                     "# KEYBOARD CONFIGURATION FILE\n"
                                     "XKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\n"
                                     "XKBVARIANT=\"\"\nXKBOPTIONS=\"compose:ralt\"\n"
                                     "BACKSPACE=\"guess\"\n");
    const QString vconsole = writeFile(dir, "vconsole.conf", "KEYMAP=de\nXKBLAYOUT=de\n");
    const QString missing = dir.filePath("missing");

    QProcessEnvironment env;
    EXPECT_EQ(ConfiguredLayout::read(env, {missing, debian, vconsole}),
              (XKBLayoutNames{"", "pc105", "fr", "", "compose:ralt"}));
    EXPECT_EQ(ConfiguredLayout::read(env, {vconsole, debian}),
              (XKBLayoutNames{"", "", "de", "", ""}));
    EXPECT_EQ(ConfiguredLayout::read(env, {missing}), XKBLayoutNames{});
    // The variables count only as a whole, and only when they name a layout.
    env.insert("XKB_DEFAULT_VARIANT", "dvorak");
    EXPECT_EQ(ConfiguredLayout::read(env, {debian}).layout, "fr");
    env.insert("XKB_DEFAULT_LAYOUT", "us");
    EXPECT_EQ(ConfiguredLayout::read(env, {debian}), (XKBLayoutNames{"", "", "us", "dvorak", ""}));

    const std::optional<XKBKeymap> fr = ConfiguredLayout::compile({"", "pc105", "fr", "", ""});
    ASSERT_TRUE(fr);
    EXPECT_EQ(fr->text(16, false), "a");
    const std::optional<XKBKeymap> fallback = ConfiguredLayout::compile({});
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->keysym(16), XKB_KEY_q);
    EXPECT_FALSE(ConfiguredLayout::compile({"", "", "no-such-layout", "", ""}));
}
