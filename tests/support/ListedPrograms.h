// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QStringList>

// Tests start only the programs of scripts/programs.txt, whose packages the test run checks
// first (scripts/check-programs.py): the program, as the list names it. A program missing from
// the list stops the test at once, naming it.
inline QString listedProgram(const QString& program) {
    static const QStringList listed = [] {
        QFile file(QStringLiteral(OLVANE_PROGRAM_LIST));
        if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read %s", OLVANE_PROGRAM_LIST);
        QStringList programs;
        for (const QByteArray& line : file.readAll().split('\n'))
            programs << QString::fromUtf8(line).section('#', 0, 0).trimmed();
        return programs;
    }();
    if (program.isEmpty() || !listed.contains(program))
        qFatal("%s is not in %s: list it there, and its package in scripts/packages-test.txt",
               qPrintable(program), OLVANE_PROGRAM_LIST);
    return program;
}
