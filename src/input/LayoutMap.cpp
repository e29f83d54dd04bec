// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/LayoutMap.h"

#include <QTextBoundaryFinder>

QString firstGrapheme(const QString& text) {
    if (text.isEmpty()) return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const qsizetype end = finder.toNextBoundary();
    return text.left(end > 0 ? end : text.size());
}

LayoutMap buildLayoutMap(const KeySymbolSource& source) {
    LayoutMap map;
    for (bool shifted : {false, true}) {
        for (quint16 code = 0; code <= 127; ++code) {
            const QString ch = firstGrapheme(source.text(code, shifted).toLower());
            if (!ch.isEmpty() && !map.contains(ch)) map.insert(ch, code);
        }
    }
    return map;
}
