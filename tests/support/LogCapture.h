#pragma once

#include <QStringList>

// Collects the log lines written while it exists.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    int count(const QString& line) const;
};
