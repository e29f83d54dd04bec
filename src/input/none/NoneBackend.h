// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/InputBackend.h"

// No window system to post into: nothing is posted and "ax" is false.
class NoneBackend : public InputBackend {
public:
    static constexpr const char* kName = "none";

    explicit NoneBackend(QString reason);

    QString name() const override { return QLatin1String(kName); }
    void start() override;
    bool trusted() const override { return false; }
    std::optional<QPointF> cursorLocation() override { return std::nullopt; }
    QList<QRectF> displayBounds() override { return {}; }
    void postPointer(PointerAction, QPointF, int) override {}
    void postScroll(qint32, qint32) override {}
    bool postKey(quint16, bool) override { return false; }
    void typeText(const QString&) override {}

private:
    QString reason_;
};
