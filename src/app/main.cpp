// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Agent.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "base/Env.h"
#include "base/Log.h"
#include "state/AppState.h"

#include <QApplication>
#include <QLocale>
#include <QProcessEnvironment>
#include <QTranslator>

#include <sys/resource.h>

#include <cstdio>

namespace {
// Each connection costs a descriptor; take what the system allows rather than the default.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// From a plain terminal or a headless box the agent still serves phones, just without a
// window or a tray icon.
void runOffscreenWithoutDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name)) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    logLine(QStringLiteral("No display; running without window or tray icon"));
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
}  // namespace

int main(int argc, char** argv) {
    const CommandLine::Outcome command = CommandLine::parse(
        argumentsOf(argc, argv), Env::from(QProcessEnvironment::systemEnvironment()));
    if (!command.run) {
        std::fputs(command.out.toLocal8Bit().constData(), stdout);
        std::fputs(command.err.toLocal8Bit().constData(), stderr);
        return command.exitCode;
    }
    installLogHandler();
    runOffscreenWithoutDisplay();
    QApplication::setApplicationName(QStringLiteral("olvane-helper"));
    QApplication::setApplicationDisplayName(QStringLiteral("Olvane"));
    QApplication::setApplicationVersion(AppState::version());
    QApplication::setDesktopFileName(QStringLiteral("org.olvane.OlvaneHelper"));
    // The options are ours: Qt's own (-platform, -display...) are not read from them.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    raiseDescriptorLimit();
    // Windows and menus in the user's language when it has a translation, else English.
    QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("olvane"), QStringLiteral("_"),
                        QStringLiteral(":/i18n")))
        QApplication::installTranslator(&translator);

    SingleInstance instance;
    if (!instance.claim()) {
        logLine(QStringLiteral("Instance déjà active, on la met en avant et on quitte"));
        return 0;
    }
    Agent agent(*command.run);
    QObject::connect(&instance, &SingleInstance::reopenRequested, &agent.shell(),
                     &Shell::showPairingWindow);
    return agent.run();
}
