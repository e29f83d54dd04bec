#pragma once

#include "input/Input.h"
#include "input/x11/X11Backend.h"
#include "support/ManualInputClock.h"
#include "support/Wait.h"
#include "support/XvfbServer.h"

#include <QPoint>

#include <memory>

// Input over the X11 backend on a private Xvfb, with ticks driven by hand.
struct X11Harness {
    XvfbServer server;
    X11Backend* backend = nullptr;
    ManualInputClock* clock = nullptr;
    std::unique_ptr<Input> input;

    explicit X11Harness(int width = 1920, int height = 1080) : server(width, height) {}
    ~X11Harness() { input.reset(); }

    void startInput(Input::Options options = {}) {
        auto x11 = std::make_unique<X11Backend>(server.display());
        auto manual = std::make_unique<ManualInputClock>();
        backend = x11.get();
        clock = manual.get();
        input = std::make_unique<Input>(std::move(x11), std::move(manual), options);
    }

    // Ticks until the smoothing ticker stops by itself.
    void drain() {
        for (int i = 0; i < 2000 && clock->tick(*input); ++i) {
        }
    }

    // Waits until the real pointer is at p; true when it got there.
    bool pointerReaches(QPoint p) {
        return waitUntil([&] { return server.pointer() == p; });
    }

    void setPointer(QPoint p) {
        server.run(QStringLiteral("xdotool"),
                   {"mousemove", QString::number(p.x()), QString::number(p.y())});
    }
};
