#pragma once

#include <QString>

// One log line on stderr: "<timestamp> olvane-helper[<pid>]: <text>". Safe from any thread.
void logLine(const QString& text);

// Tests capture the lines instead of (or besides) stderr.
using LogSink = void (*)(const QString& line);
void setLogSink(LogSink sink);
