// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/xkb/ConfiguredLayout.h"

#include "base/Log.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace {
// KEY=value lines as shell files have them, with optional quotes; comments ignored.
QHash<QString, QString> readSettings(const QString& path) {
    QHash<QString, QString> settings;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return settings;
    static const QRegularExpression line(QStringLiteral(
        R"re(^\s*(?:export\s+)?([A-Z_]+)=(?:"([^"]*)"|'([^']*)'|(\S*))\s*(?:#.*)?$)re"));
    while (!file.atEnd()) {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(file.readLine()).trimmed());
        if (!m.hasMatch()) continue;
        settings.insert(m.captured(1), m.captured(2) + m.captured(3) + m.captured(4));
    }
    return settings;
}
}  // namespace

QStringList ConfiguredLayout::defaultFiles() {
    return {QStringLiteral("/etc/default/keyboard"), QStringLiteral("/etc/vconsole.conf")};
}

XKBLayoutNames ConfiguredLayout::read(const QProcessEnvironment& environment,
                                      const QStringList& files) {
    XKBLayoutNames names;
    // The variables as a whole: a variant of one source does not fit the layout of another.
    if (!environment.value(QStringLiteral("XKB_DEFAULT_LAYOUT")).isEmpty()) {
        names.rules = environment.value(QStringLiteral("XKB_DEFAULT_RULES"));
        names.model = environment.value(QStringLiteral("XKB_DEFAULT_MODEL"));
        names.layout = environment.value(QStringLiteral("XKB_DEFAULT_LAYOUT"));
        names.variant = environment.value(QStringLiteral("XKB_DEFAULT_VARIANT"));
        names.options = environment.value(QStringLiteral("XKB_DEFAULT_OPTIONS"));
        return names;
    }
    for (const QString& path : files) {
        const QHash<QString, QString> settings = readSettings(path);
        if (settings.value(QStringLiteral("XKBLAYOUT")).isEmpty()) continue;
        names.model = settings.value(QStringLiteral("XKBMODEL"));
        names.layout = settings.value(QStringLiteral("XKBLAYOUT"));
        names.variant = settings.value(QStringLiteral("XKBVARIANT"));
        names.options = settings.value(QStringLiteral("XKBOPTIONS"));
        return names;
    }
    return names;
}

XKBLayoutNames ConfiguredLayout::system() {
    return read(QProcessEnvironment::systemEnvironment(), defaultFiles());
}

std::optional<XKBKeymap> ConfiguredLayout::compile(const XKBLayoutNames& names) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (!context) {
        logLine(
            QStringLiteral("Keyboard: xkbcommon cannot start; keys by character and text "
                           "cannot be typed"));
        return std::nullopt;
    }
    // Empty strings take xkbcommon's defaults.
    const QByteArray rules = names.rules.toUtf8(), model = names.model.toUtf8(),
                     layout = names.layout.toUtf8(), variant = names.variant.toUtf8(),
                     options = names.options.toUtf8();
    const xkb_rule_names rmlvo{rules.constData(), model.constData(), layout.constData(),
                               variant.constData(), options.constData()};
    std::optional<XKBKeymap> keymap =
        XKBKeymap::adopt(xkb_keymap_new_from_names(context, &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS));
    xkb_context_unref(context);
    if (!keymap)
        logLine(QStringLiteral("Keyboard: the layout \"%1\" (variant \"%2\", model \"%3\") cannot "
                               "be compiled; keys by character and text cannot be typed")
                    .arg(names.layout, names.variant, names.model));
    return keymap;
}
