// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/xkb/ConfiguredLayout.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ConfiguredLayout, theEnvironmentAsAWholeElseTheFirstSettingsFileThatReads) {
    QTemporaryDir dir;
    QFile debian(dir.filePath("keyboard"));
    ASSERT_TRUE(debian.open(QIODevice::WriteOnly));
    debian.write(
        "# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\n"
        "XKBVARIANT=\"\"\nXKBOPTIONS=\"compose:ralt\"\nBACKSPACE=\"guess\"\n");
    debian.close();
    const QStringList files{dir.filePath("missing"), debian.fileName()};
    QProcessEnvironment env;
    EXPECT_EQ(ConfiguredLayout::read(env, files),
              (XKBLayoutNames{"", "pc105", "fr", "", "compose:ralt"}));
    // The variables count only as a whole, and only when they name a layout.
    env.insert("XKB_DEFAULT_VARIANT", "dvorak");
    EXPECT_EQ(ConfiguredLayout::read(env, files).layout, "fr");
    env.insert("XKB_DEFAULT_LAYOUT", "us");
    EXPECT_EQ(ConfiguredLayout::read(env, files), (XKBLayoutNames{"", "", "us", "dvorak", ""}));
}
