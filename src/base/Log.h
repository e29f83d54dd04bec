// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QString>

// One log line on stderr: "<timestamp> olvane-helper[<pid>]: <text>". When stderr is the
// journal's (JOURNAL_STREAM), which adds the rest, the text alone after its priority ("<3>"
// error, "<4>" warning, "<6>" information), so that `journalctl -p err` shows what failed.
// Safe from any thread.
//
// Each library logs in a category of its own, "olvane.<folder>" ("olvane.input.x11"), which
// QT_LOGGING_RULES can silence ("olvane.transport.info=false"); the build names it in
// OLVANE_LOG_CATEGORY. Qt's own messages take the same way, through installLogHandler().
//
// Text from peers reaches these lines, so no line may forge another, rewrite the terminal or
// fill the disk: control, format and bidirectional characters are escaped (\n, \u001b,
// \u202e...), a line is cut after 1,000 characters, and lines that begin alike are held back
// past a burst (see LogLimiter), with a count of them written later.
namespace Log {
void write(const QLoggingCategory& category, QtMsgType type, const QString& text);
// For code outside the libraries (tests).
const QLoggingCategory& fallbackCategory();
}  // namespace Log

#ifdef OLVANE_LOG_CATEGORY
Q_DECLARE_LOGGING_CATEGORY(OLVANE_LOG_CATEGORY)
#define OLVANE_LOG_CATEGORY_HERE OLVANE_LOG_CATEGORY()
#else
#define OLVANE_LOG_CATEGORY_HERE Log::fallbackCategory()
#endif

// Static, as each library's copy logs in that library's category.
// What happened, for whoever reads the journal.
[[maybe_unused]] static inline void logLine(const QString& text) {
    Log::write(OLVANE_LOG_CATEGORY_HERE, QtInfoMsg, text);
}
// Something failed, and the program carries on without it or tries again.
[[maybe_unused]] static inline void logWarning(const QString& text) {
    Log::write(OLVANE_LOG_CATEGORY_HERE, QtWarningMsg, text);
}
// A failure the user must act on: the journal files it as an error.
[[maybe_unused]] static inline void logError(const QString& text) {
    Log::write(OLVANE_LOG_CATEGORY_HERE, QtCriticalMsg, text);
}

// A command of a paired phone, logged on request (dry run, OLVANE_LOG_INPUT): every one is
// written, escaped and cut like any line.
void logCommand(const QString& text);
// Writes the counts of the lines still held back; at the end.
void flushLog();
// Qt's own messages ("This plugin does not support raise()") as our lines, with their
// priority.
void installLogHandler();

// Tests capture the lines instead of (or besides) stderr. A new sink starts with nothing held
// back.
using LogSink = void (*)(const QString& line);
void setLogSink(LogSink sink);
