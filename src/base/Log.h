// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// One log line on stderr: "<timestamp> olvane-helper[<pid>]: <text>", with the control
// characters of text escaped (\n, \u001b...); the text alone when stderr is the journal's
// (JOURNAL_STREAM), which adds the rest. Safe from any thread.
void logLine(const QString& text);

// Tests capture the lines instead of (or besides) stderr.
using LogSink = void (*)(const QString& line);
void setLogSink(LogSink sink);
