// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include "app/InputBackends.h"
#include "base/Version.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {
const QStringList kBackends = InputBackends::settingNames();

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the version and exit.")};
    QCommandLineOption port{{QStringLiteral("p"), QStringLiteral("port")},
                            QStringLiteral("TCP port of the WebSocket server and the touchpad "
                                           "page, 0 to 65535 (0: any free port). Default "
                                           "8788. [OLVANE_WS_PORT]"),
                            QStringLiteral("port")};
    QCommandLineOption name{{QStringLiteral("n"), QStringLiteral("name")},
                            QStringLiteral("The computer's name as phones show it. Default: "
                                           "the host name. [OLVANE_NAME]"),
                            QStringLiteral("name")};
    QCommandLineOption backend{QStringLiteral("input-backend"),
                               QStringLiteral("How input reaches the desktop: %1. Default "
                                              "auto. [OLVANE_INPUT_BACKEND]")
                                   .arg(kBackends.join(QStringLiteral(", "))),
                               QStringLiteral("backend")};
    QCommandLineOption code{QStringLiteral("code"),
                            QStringLiteral("Use this pairing code instead of a random one. "
                                           "[OLVANE_FIXED_CODE]"),
                            QStringLiteral("code")};
    QCommandLineOption dryRun{QStringLiteral("dry-run"),
                              QStringLiteral("Log the phone's commands instead of carrying "
                                             "them out; show no pairing window. "
                                             "[OLVANE_DRY_RUN]")};
    QCommandLineOption logInput{QStringLiteral("log-input"),
                                QStringLiteral("Log the type of every command. "
                                               "[OLVANE_LOG_INPUT]")};
    QCommandLineOption hidden{QStringLiteral("hidden"),
                              QStringLiteral("Start without the pairing window when a phone is "
                                             "paired already (at login).")};
};

QString helpText(QCommandLineParser& parser) {
    QString text = parser.helpText();
    // Qt names the program by argv[0]; the manual page and scripts want its name.
    text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")),
                 QStringLiteral("Usage: olvane-helper"));
    return text + QStringLiteral(
                      "\nEach option overrides the environment variable in brackets.\n"
                      "OLVANE_CMD_KEY=super makes the phone's Command key Super, not Control.\n");
}

// As other command-line tools say it: the fault, and where the usage is.
CommandLine::Outcome usageError(const QString& error) {
    return {std::nullopt, CommandLine::kUsageError, QString(),
            QStringLiteral("olvane-helper: %1\nTry 'olvane-helper --help' for more information.\n")
                .arg(error)};
}

bool isPort(const QString& text) {
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,5}")));
    return digits.match(text).hasMatch() && text.toUInt() <= 65535;
}

// Sets env from the options given; a value that cannot be used is an error, not a default.
std::optional<QString> applyOptions(const QCommandLineParser& parser, const Options& o, Env& env) {
    if (parser.isSet(o.port)) {
        const QString port = parser.value(o.port);
        if (!isPort(port)) return QStringLiteral("Bad port '%1': give 0 to 65535.").arg(port);
        env.wsPort = port;
    }
    if (parser.isSet(o.backend)) {
        const QString backend = parser.value(o.backend).toLower();
        if (!kBackends.contains(backend))
            return QStringLiteral("Unknown input backend '%1': give %2.")
                .arg(parser.value(o.backend), kBackends.join(QStringLiteral(", ")));
        env.inputBackend = backend;
    }
    if (parser.isSet(o.name)) env.name = parser.value(o.name);
    if (parser.isSet(o.code)) {
        // Anyone could pair with it.
        if (parser.value(o.code).isEmpty()) return QStringLiteral("Empty pairing code.");
        env.fixedCode = parser.value(o.code);
    }
    env.dryRun = env.dryRun || parser.isSet(o.dryRun);
    env.logInput = env.logInput || parser.isSet(o.logInput);
    env.hidden = parser.isSet(o.hidden);
    return std::nullopt;
}
}  // namespace

CommandLine::Outcome CommandLine::parse(const QStringList& arguments, Env env) {
    const Options o;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lets a phone act as touchpad, keyboard and media remote for this\n"
                       "computer, over the local network or Bluetooth LE."));
    parser.addOptions(
        {o.help, o.version, o.port, o.name, o.backend, o.code, o.dryRun, o.logInput, o.hidden});
    if (!parser.parse(arguments)) return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument '%1'.")
                              .arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(o.help)) return {std::nullopt, 0, helpText(parser), QString()};
    if (parser.isSet(o.version))
        return {std::nullopt, 0,
                QStringLiteral("olvane-helper %1\n").arg(QString::fromLatin1(Version::kText)),
                QString()};

    if (const std::optional<QString> error = applyOptions(parser, o, env))
        return usageError(*error);
    return {std::move(env), 0, QString(), QString()};
}
