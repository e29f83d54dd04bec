// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/InputBackendChoice.h"

#include <memory>

namespace {
using Candidates = std::shared_ptr<const QList<InputBackendCandidate>>;

void probeFrom(Candidates candidates, qsizetype next, InputBackendChoice choice,
               std::function<void(InputBackendChoice)> done) {
    if (next == candidates->size()) return done(std::move(choice));
    const QString name = candidates->at(next).name;
    candidates->at(next).probe([=](InputBackendAvailability whyNot) mutable {
        if (!whyNot) {
            choice.backend = name;
            return done(std::move(choice));
        }
        choice.passedOver << QStringLiteral("%1 (%2)").arg(name, *whyNot);
        probeFrom(candidates, next + 1, std::move(choice), std::move(done));
    });
}
}  // namespace

void chooseInputBackend(QList<InputBackendCandidate> candidates,
                        std::function<void(InputBackendChoice)> done) {
    probeFrom(std::make_shared<const QList<InputBackendCandidate>>(std::move(candidates)), 0, {},
              std::move(done));
}
