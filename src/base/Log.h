// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// One log line on stderr: "<timestamp> olvane-helper[<pid>]: <text>", the text alone when
// stderr is the journal's (JOURNAL_STREAM), which adds the rest. Safe from any thread.
//
// Text from peers reaches these lines, so no line may forge another, rewrite the terminal or
// fill the disk: control, format and bidirectional characters are escaped (\n, \u001b,
// \u202e...), a line is cut after 1,000 characters, and lines that begin alike are held back
// past a burst (see LogLimiter), with a count of them written later.
void logLine(const QString& text);
// A failure the user must act on: the journal files it as an error.
void logError(const QString& text);
// A command of a paired phone, logged on request (dry run, OLVANE_LOG_INPUT): every one is
// written, escaped and cut like any line.
void logCommand(const QString& text);
// Writes the counts of the lines still held back; at the end.
void flushLog();

// Tests capture the lines instead of (or besides) stderr. A new sink starts with nothing held
// back.
using LogSink = void (*)(const QString& line);
void setLogSink(LogSink sink);
