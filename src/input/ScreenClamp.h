// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>

// Brings a point onto the nearest display: a point on any display is kept; otherwise the
// closest point inside a display (one unit inside its right and bottom edges) is chosen,
// the first-listed display winning a tie. No displays: the point is kept.
QPointF clampToScreens(QPointF p, const QList<QRectF>& displays);

// Containment that includes the minimum edges and excludes the maximum ones.
bool displayContains(const QRectF& display, QPointF p);
