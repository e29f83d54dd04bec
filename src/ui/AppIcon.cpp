// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AppIcon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace AppIcon {

QIcon icon() {
    QIcon svg(QStringLiteral(":/olvane/olvane-helper.svg"));
    if (!svg.pixmap(QSize(32, 32)).isNull()) return svg;
    return fallback();
}

QIcon fallback() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(30, 30, 34));
        painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.2, size * 0.2);
        QFont font;
        font.setPixelSize(qMax(8, int(size * 0.55)));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("Ol"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace AppIcon
