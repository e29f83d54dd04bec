// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/xkb/XKBKeymap.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

// XKB rule names; an empty field takes xkbcommon's default (evdev, pc105, us).
struct XKBLayoutNames {
    QString rules, model, layout, variant, options;
    bool operator==(const XKBLayoutNames&) const = default;
};

// The keyboard layout the system is configured with, for backends that cannot ask the window
// system which one it uses: the XKB_DEFAULT_* variables when XKB_DEFAULT_LAYOUT is set (the
// ones xkbcommon reads), else the first settings file that names a layout: Debian's
// /etc/default/keyboard, then systemd's /etc/vconsole.conf.
class ConfiguredLayout {
public:
    static QStringList defaultFiles();

    static XKBLayoutNames read(const QProcessEnvironment& environment, const QStringList& files);
    static XKBLayoutNames system();

    // The keymap of these names, first group; none (logged) when it cannot be compiled.
    static std::optional<XKBKeymap> compile(const XKBLayoutNames& names);
};
