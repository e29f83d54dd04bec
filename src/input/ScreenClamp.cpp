// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/ScreenClamp.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool displayContains(const QRectF& d, QPointF p) {
    return p.x() >= d.left() && p.x() < d.left() + d.width() && p.y() >= d.top() &&
           p.y() < d.top() + d.height();
}

QPointF clampToScreens(QPointF p, const QList<QRectF>& displays) {
    QPointF best = p;
    // The first display is always a candidate: a point so far away that every distance is
    // infinite must still land on a display.
    double bestDistance = std::numeric_limits<double>::infinity();
    bool found = false;
    for (const QRectF& d : displays) {
        if (displayContains(d, p)) return p;
        const double cx = std::min(std::max(p.x(), d.left()), d.left() + d.width() - 1);
        const double cy = std::min(std::max(p.y(), d.top()), d.top() + d.height() - 1);
        const double distance = std::hypot(cx - p.x(), cy - p.y());
        if (!found || distance < bestDistance) {
            found = true;
            best = QPointF(cx, cy);
            bestDistance = distance;
        }
    }
    return best;
}
