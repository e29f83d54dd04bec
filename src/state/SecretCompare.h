// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Compares a secret with a candidate in time that does not depend on where they differ,
// so a client cannot learn a pairing code or token one character at a time.
bool secretEquals(const QString& secret, const QString& candidate);
