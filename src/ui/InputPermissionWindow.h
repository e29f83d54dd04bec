// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <optional>

// Tells the user what keeps the agent from posting input on this desktop, for the input
// backends where no desktop dialog can grant it.
class InputPermissionWindow {
    Q_DECLARE_TR_FUNCTIONS(InputPermissionWindow)

public:
    ~InputPermissionWindow();

    // The explanation for a backend, or nothing when the backend asks the desktop itself.
    static std::optional<QString> explanation(const QString& backendName);
    // Shows the explanation in a small window (the same one each time).
    void show(const QString& text);
    QMessageBox* window() const { return box_; }

private:
    QPointer<QMessageBox> box_;
};
