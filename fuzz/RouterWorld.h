// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the router fuzzers share: the real router over a real state and the real Input engine
// on a recording backend, with the smoothing ticks stepped by hand.

#include "FuzzCheck.h"
#include "router/Router.h"
#include "state/AppState.h"
#include "support/InputHarness.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cmath>

struct RouterWorld {
    // One Input for every input, since starting its thread would take most of the time.
    InputHarness h;
    QPointF lastPointer{500, 500};

    // Feeds one input from a phone to a router over a fresh state; then the phone leaves, and
    // the pointer must still be sound.
    template <typename Feed>
    static void run(Feed feed) {
        static int argc = 1;
        static char name[] = "fuzzer", *argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        static RouterWorld& world = *new RouterWorld;
        const QTemporaryDir dir;
        AppState state(AppStateConfig{
            .wsPort = 0, .fixedCode = "4321", .tokenFile = dir.filePath("tokens.json")});
        Router router(state, *world.h.input, Router::Options{});
        bool closed = false;
        // Replies are serialised as the transports do, from whichever thread sends them.
        const auto session = std::make_shared<ClientSession>(
            [](const QJsonObject& m) { QJsonDocument(m).toJson(QJsonDocument::Compact); },
            [&closed] { closed = true; });
        feed(world, router, session, closed);
        router.sessionEnded(*session);
        world.settle();
        // Whatever came before, a small move still moves the pointer by that much (give or
        // take what an earlier move left below the dead zone).
        const QPointF from = world.lastPointer;
        const double dx = from.x() > 960 ? -3 : 3, slack = Input::kDeadZone + 1e-9;
        world.h.input->moveBy(dx, 0);
        world.settle();
        require(std::abs(world.lastPointer.x() - (from.x() + dx)) <= slack &&
                    std::abs(world.lastPointer.y() - from.y()) <= slack,
                "a small move moves the pointer by that much");
    }

    void settle() { check(h.drain()); }

    // The pointer must land on the display, at a real position, whatever came in.
    void check(const QList<InputHarness::Event>& events) {
        for (const InputHarness::Event& e : events) {
            if (e.kind != InputHarness::Event::Kind::Pointer) continue;
            require(std::isfinite(e.at.x()) && std::isfinite(e.at.y()) &&
                        QRectF(0, 0, 1920, 1080).contains(e.at),
                    "the pointer lands on the display");
            lastPointer = e.at;
        }
    }

private:
    // The recording volume answers "getvol" and records "vol" as a sound server would.
    RouterWorld() { h.input->setVolumeControl(std::make_unique<RecordingVolume>()); }
};
