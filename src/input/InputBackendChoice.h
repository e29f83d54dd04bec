// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/InputBackend.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// One backend as the automatic choice sees it.
struct InputBackendCandidate {
    QString name;
    // Tells answer, once, at once or later, whether the backend can work here.
    std::function<void(std::function<void(InputBackendAvailability)> answer)> probe;
};

struct InputBackendChoice {
    QString backend;  // empty when none of the candidates can work
    // The candidates tried before it, each with why it was passed over: "x11 (Wayland session)".
    QStringList passedOver;
};

// Probes the candidates in order, each only once the one before has answered that it cannot
// work (so that an X11 session never wakes the desktop portal), and hands done the first that
// can.
void chooseInputBackend(QList<InputBackendCandidate> candidates,
                        std::function<void(InputBackendChoice)> done);
