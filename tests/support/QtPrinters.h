// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Readable gtest failure messages for the Qt types the tests compare (lists of them print
// as containers). Force-included in every test source.
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QString>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QJsonObject& o, std::ostream* os) {
    *os << QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}
inline void PrintTo(const QPointF& p, std::ostream* os) {
    *os << '(' << p.x() << ", " << p.y() << ')';
}
