// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of one posted pointer event through the X11 backend, on the X server in $DISPLAY.
// Usage: x11_pointer_bench [events]
#include "input/ScreenClamp.h"
#include "input/x11/X11Backend.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace {
// Microseconds per call, the server's work included: a round trip at the end waits for it.
double perCall(X11Backend& backend, int count, const std::function<void(int)>& call) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) call(i);
    backend.cursorLocation();
    return double(timer.nsecsElapsed()) / 1000.0 / count;
}

QPointF target(int i) {
    return QPointF(200 + i % 400, 300 + (i / 400) % 200);
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    X11Backend backend(QString{});
    backend.start();
    if (!backend.trusted()) {
        std::fprintf(stderr, "no X server with XTEST in $DISPLAY\n");
        return 1;
    }
    perCall(backend, 1000, [&](int i) { backend.postPointer(PointerAction::Move, target(i), 0); });

    const double motion = perCall(
        backend, count, [&](int i) { backend.postPointer(PointerAction::Move, target(i), 0); });
    // What one smoothing step costs: the monitors read afresh, the clamp, the motion.
    const double step = perCall(backend, count, [&](int i) {
        const QPointF p = clampToScreens(target(i), backend.displayBounds());
        backend.postPointer(PointerAction::Move, p, 0);
    });
    const double wheel = perCall(backend, count, [&](int i) {
        backend.postScroll(i % 2 ? 50 : -50, 0);  // one click each, alternating
    });
    std::printf("xtest.events %d\n", count);
    std::printf("xtest.motion_us %.2f\n", motion);
    std::printf("xtest.step_us %.2f\n", step);
    std::printf("xtest.wheel_us %.2f\n", wheel);
    return 0;
}
