#include "input/xkb/ConfiguredLayout.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ConfiguredLayout, theEnvironmentThenDebianThenSystemdSettings) {
    QTemporaryDir dir;
    const QString debian = dir.filePath("keyboard"), vconsole = dir.filePath("vconsole.conf");
    for (auto [path, text] : {std::pair{debian,
                                        "# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"pc105\"\n"
                                        "XKBLAYOUT=\"fr\"\nXKBVARIANT=\"\"\n"
                                        "XKBOPTIONS=\"compose:ralt\"\nBACKSPACE=\"guess\"\n"},
                              {vconsole, "KEYMAP=de\nXKBLAYOUT=de\n"}}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
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
}
