#pragma once

// What the router fuzzers share: the real router, a real state in a temporary folder and the
// real Input engine over a recording backend, with the smoothing ticks stepped by hand so
// that every input runs the same way.

#include "router/Router.h"
#include "state/AppState.h"
#include "support/InputHarness.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>

struct RouterWorld {
    static constexpr int kMaxTicks = 100000;

    InputHarness h;
    // In memory where the system offers it: saving a token syncs the file to disk.
    QTemporaryDir dir{QDir(QStringLiteral("/dev/shm")).exists()
                          ? QStringLiteral("/dev/shm/olvane-fuzz-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/olvane-fuzz-XXXXXX")};
    QRectF display{0, 0, 1920, 1080};
    QPointF lastPointer{500, 500};

    static RouterWorld& instance() {
        static int argc = 1;
        static char name[] = "fuzzer";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        static RouterWorld* world = new RouterWorld;
        return *world;
    }

    // A fresh state for each input, so that tokens and lockouts never leak between inputs.
    std::unique_ptr<AppState> freshState() {
        AppStateConfig c;
        c.tokenFile = dir.filePath(QStringLiteral("tokens.json"));
        c.fixedCode = QStringLiteral("4321");
        c.name = QStringLiteral("Bureau");
        c.wsPort = 0;
        QFile::remove(c.tokenFile);
        return std::make_unique<AppState>(c);
    }

    static std::shared_ptr<ClientSession> phone(bool* closed) {
        // Replies are serialised the way the transports do, from whichever thread sends them.
        return std::make_shared<ClientSession>(
            [](const QJsonObject& m) { (void)QJsonDocument(m).toJson(QJsonDocument::Compact); },
            [closed] { *closed = true; });
    }

    // Runs the ticker until it stops, then checks every event Input posted on the way.
    void drain() {
        h.flush();
        h.clock->tickUntilStopped(*h.input, kMaxTicks);
        check(h.take());
    }

    // The pointer must land on the display, at a real position, whatever came in.
    void check(const QList<RecordingBackend::Event>& events) {
        for (const auto& e : events) {
            if (e.kind != RecordingBackend::Event::Kind::Pointer) continue;
            if (!std::isfinite(e.at.x()) || !std::isfinite(e.at.y()) || !display.contains(e.at)) {
                std::fprintf(stderr, "pointer posted off the display: %g %g\n", e.at.x(), e.at.y());
                std::abort();
            }
            lastPointer = e.at;
        }
    }

    // Whatever came before, a small move still moves the pointer by that much (give or take
    // what an earlier move left below the dead zone).
    void probe() {
        const double dx = lastPointer.x() > display.center().x() ? -3 : 3;
        const QPointF from = lastPointer;
        h.input->moveBy(dx, 0);
        drain();
        const double slack = Input::kDeadZone + 1e-9;
        if (!(std::abs(lastPointer.x() - (from.x() + dx)) <= slack &&
              std::abs(lastPointer.y() - from.y()) <= slack)) {
            std::fprintf(stderr, "a move of %g from %g %g ended at %g %g\n", dx, from.x(), from.y(),
                         lastPointer.x(), lastPointer.y());
            std::abort();
        }
    }

private:
    RouterWorld() {
        // The recording volume answers "getvol" and records "vol" like a sound server would.
        h.input->setVolumeControl(std::make_unique<RecordingVolume>());
    }
};
