#include "support/ListedPrograms.h"

#include <QFile>
#include <QSet>
#include <QtGlobal>

namespace {
QSet<QString> readList() {
    QSet<QString> programs;
    QFile file(QStringLiteral(OLVANE_PROGRAM_LIST));
    if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read %s", OLVANE_PROGRAM_LIST);
    while (!file.atEnd()) {
        const QString word = QString::fromUtf8(file.readLine()).section('#', 0, 0).trimmed();
        if (!word.isEmpty()) programs.insert(word);
    }
    return programs;
}
}  // namespace

QString listedProgram(const QString& program) {
    static const QSet<QString> listed = readList();
    if (!listed.contains(program))
        qFatal("%s is not in %s: list it there, and its package in scripts/packages-test.txt",
               qPrintable(program), OLVANE_PROGRAM_LIST);
    return program;
}
