// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/Env.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line: --help, --version, and one option for each setting, stronger than its
// environment variable. Plain code, read before anything graphical starts, so that it
// answers where no display can be opened.
class CommandLine {
public:
    static constexpr int kUsageError = 2;

    // Either the settings to run with, or what to print before exiting with exitCode.
    struct Outcome {
        std::optional<Env> run;
        int exitCode = 0;
        QString out;  // for stdout
        QString err;  // for stderr
    };

    // arguments as in argv, the program first; env holds the environment's settings.
    static Outcome parse(const QStringList& arguments, Env env);
};
