#pragma once

#include <QString>

// Tests start only the programs of scripts/programs.txt, whose packages the test run checks
// first (scripts/check-programs.py): the program, as the list names it. A program missing from
// the list stops the test at once, naming it.
QString listedProgram(const QString& program);
