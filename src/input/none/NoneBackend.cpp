// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/none/NoneBackend.h"

#include "base/Log.h"

NoneBackend::NoneBackend(QString reason) : reason_(std::move(reason)) {}

void NoneBackend::start() {
    logWarning(QStringLiteral("Input backend: none (%1); input commands are dropped").arg(reason_));
    emit failed();
}
