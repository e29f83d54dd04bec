// From a WebSocket "mv" to the first X motion event it causes (an XInput 2 raw motion), against
// a running agent. Usage: ws_motion_latency_bench <port> <pairing code> [samples]
// Two series: "cold", moves 300 ms apart (the smoothing timer has stopped and starts on the
// move), and "warm", moves 50 ms apart (the timer runs; the move waits for its next tick).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <cstdio>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace {
struct Series {
    const char* name;
    int gapMs;
    QList<double> samples;
};

void report(const Series& s) {
    QList<double> v = s.samples;
    std::sort(v.begin(), v.end());
    if (v.isEmpty()) return;
    auto at = [&](double q) {
        return v[std::min<qsizetype>(v.size() - 1, qsizetype(q * v.size()))];
    };
    std::printf("%-5s (%3d ms apart, %lld moves): median %.2f ms, p90 %.2f ms, max %.2f ms\n",
                s.name, s.gapMs, static_cast<long long>(v.size()), at(0.5), at(0.9), v.last());
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <port> <pairing code> [samples]\n", argv[0]);
        return 2;
    }
    const int samples = argc > 3 ? std::max(1, std::atoi(argv[3])) : 200;
    Display* display = XOpenDisplay(nullptr);
    int opcode = 0, event = 0, error = 0, major = 2, minor = 2;
    if (!display || !XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success) {
        std::fprintf(stderr, "no X server with XInput 2 in $DISPLAY\n");
        return 1;
    }
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawMotion);
    XIEventMask events{XIAllMasterDevices, sizeof mask, mask};
    XISelectEvents(display, DefaultRootWindow(display), &events, 1);
    XSync(display, False);

    Series series[] = {{"cold", 300, {}}, {"warm", 50, {}}};
    int current = 0, sent = 0, direction = 1;
    bool waiting = false;
    QElapsedTimer clock;
    QWebSocket socket;

    auto sendMove = [&] {
        if (current == 2) return app.quit();
        waiting = true;
        direction = -direction;
        clock.start();
        socket.sendTextMessage(
            QStringLiteral("{\"t\":\"mv\",\"dx\":%1,\"dy\":0}").arg(5 * direction));
        socket.flush();
    };
    QSocketNotifier notifier(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        while (XPending(display)) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type != GenericEvent || e.xcookie.extension != opcode || !waiting) continue;
            waiting = false;
            series[current].samples.append(double(clock.nsecsElapsed()) / 1e6);
            if (++sent == samples) current++, sent = 0;
            if (current < 2)
                QTimer::singleShot(series[current].gapMs, sendMove);
            else
                app.quit();
        }
    });
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString& text) {
        if (QJsonDocument::fromJson(text.toUtf8()).object().value("t") != "paired") return;
        QTimer::singleShot(300, sendMove);
    });
    QObject::connect(&socket, &QWebSocket::connected, [&] {
        socket.sendTextMessage(QStringLiteral("{\"t\":\"pair\",\"code\":\"%1\"}").arg(argv[2]));
    });
    QTimer::singleShot(120000, &app, [&] {
        std::fprintf(stderr, "gave up waiting for motion\n");
        app.exit(1);
    });
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(argv[1])));
    const int status = app.exec();
    for (const Series& s : series) report(s);
    XCloseDisplay(display);
    return status;
}
