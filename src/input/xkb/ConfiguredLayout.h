#pragma once

#include "input/xkb/XkbKeymap.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

// XKB rule names; an empty field takes xkbcommon's default (evdev, pc105, us).
struct XkbLayoutNames {
    QString rules, model, layout, variant, options;
    bool operator==(const XkbLayoutNames&) const = default;
};

// The keyboard layout the system is configured with, for backends that cannot ask the window
// system which one it uses: the XKB_DEFAULT_* variables when XKB_DEFAULT_LAYOUT is set (the
// ones xkbcommon reads), else the first settings file that names a layout: Debian's
// /etc/default/keyboard, then systemd's /etc/vconsole.conf.
class ConfiguredLayout {
public:
    static QStringList defaultFiles();

    static XkbLayoutNames read(const QProcessEnvironment& environment, const QStringList& files);
    static XkbLayoutNames system();

    // The keymap of these names, first group; none (logged) when it cannot be compiled.
    static std::optional<XkbKeymap> compile(const XkbLayoutNames& names);
};
