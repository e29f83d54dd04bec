// SPDX-License-Identifier: GPL-3.0-or-later
// Measures a running agent against floors measured in the same run, on the X server in
// $DISPLAY. Prints one "<key> <value>" line per figure.
//
//   agent_bench all <agent port> <agent pid> <echo port> <echo pid> <pairing code>
//                   [<sound server pid>]
//   agent_bench flood <agent port> <pairing code> <messages>
//   agent_bench start <key> <runs> <program> [arguments...]
//
// "all" runs every measure against the agent and the echo server (ws_echo_server), "flood"
// only sends messages (for the leak check under a sanitized agent), "start" times a program
// from its start until its WebSocket port ($OLVANE_WS_PORT, set here) accepts connections.
// Given the agent's sound server, "all" also times moves sent right after a volume key while
// that server is stopped.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocket>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QElapsedTimer clockTimer;

qint64 nowNs() {
    return clockTimer.nsecsElapsed();
}

void print(const char* key, double value) {
    std::printf("%s %.3f\n", key, value);
    std::fflush(stdout);
}

// Runs the event loop, sleeping between events, until the condition holds or time is up.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    wake.start(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Handles events meanwhile; wakes up to a millisecond late.
void sleepUntilNs(qint64 due) {
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    while (nowNs() < due) {
        if (!wake.isActive()) wake.start(int((due - nowNs() + 999'999) / 1'000'000));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

struct Stats {
    QList<double> v;
    double at(double q) const {
        QList<double> s = v;
        std::sort(s.begin(), s.end());
        return s.isEmpty() ? NAN : s[std::min<qsizetype>(s.size() - 1, qsizetype(q * s.size()))];
    }
    void report(const QString& key) const {
        print(qPrintable(key + QStringLiteral(".median_ms")), at(0.5));
        print(qPrintable(key + QStringLiteral(".p99_ms")), at(0.99));
        print(qPrintable(key + QStringLiteral(".max_ms")), at(1.0));
        print(qPrintable(key + QStringLiteral(".samples")), double(v.size()));
    }
};

// CPU time of every thread of a process, in nanoseconds.
double cpuNs(qint64 pid) {
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (f.open(QIODevice::ReadOnly)) total += f.readAll().split(' ').value(0).toDouble();
    }
    return total;
}

QByteArray statusField(const QString& path, const QByteArray& name) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(name + ':')) return line.mid(name.size() + 1).trimmed();
    return {};
}

double rssKb(qint64 pid) {
    return statusField(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS")
        .split(' ')[0]
        .toDouble();
}

// How often the input thread woke up: with the smoothing timer stopped, it sleeps.
double inputThreadWakeups(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "olvane.input") continue;
        const QString status = tasks.filePath(tid + QStringLiteral("/status"));
        return statusField(status, "voluntary_ctxt_switches").toDouble() +
               statusField(status, "nonvoluntary_ctxt_switches").toDouble();
    }
    return NAN;
}

// Raw motion events of the X server, and XTEST moves of our own.
class XProbe {
public:
    bool open() {
        display_ = XOpenDisplay(nullptr);
        int event = 0, error = 0, major = 2, minor = 2;
        if (!display_ || !XQueryExtension(display_, "XInputExtension", &opcode_, &event, &error) ||
            XIQueryVersion(display_, &major, &minor) != Success)
            return false;
        unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(mask, XI_RawMotion);
        XIEventMask events{XIAllMasterDevices, sizeof mask, mask};
        XISelectEvents(display_, DefaultRootWindow(display_), &events, 1);
        XSync(display_, False);
        notifier_ =
            std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { pump(); });
        return true;
    }
    void pump() {
        while (XPending(display_)) {
            XEvent e;
            XNextEvent(display_, &e);
            if (e.type == GenericEvent && e.xcookie.extension == opcode_) {
                ++raw;
                lastRawNs = nowNs();
            }
        }
    }
    void motionTo(int x, int y) {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XSync(display_, False);
        pump();
    }
    QPoint pointer() {
        Window root, child;
        int x = 0, y = 0, wx, wy;
        unsigned mask;
        XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &x, &y, &wx, &wy,
                      &mask);
        pump();
        return {x, y};
    }
    // The pointer once it has stayed put for a while (the agent's smoothing has drained).
    QPoint settledPointer() {
        QPoint last = pointer();
        qint64 since = nowNs();
        while (nowNs() - since < 300'000'000) {
            sleepUntilNs(nowNs() + 20'000'000);
            const QPoint p = pointer();
            if (p != last) last = p, since = nowNs();
        }
        return last;
    }

    int raw = 0;
    qint64 lastRawNs = 0;

private:
    Display* display_ = nullptr;
    int opcode_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
};

class Client {
public:
    std::function<void(const QJsonObject&)> onReply;
    int replies = 0;
    QJsonObject last;

    explicit Client(quint16 port) {
        QObject::connect(&ws, &QWebSocket::textMessageReceived, [this](const QString& text) {
            last = QJsonDocument::fromJson(text.toUtf8()).object();
            ++replies;
            if (onReply) onReply(last);
        });
        ws.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)));
        if (!waitUntil([this] { return ws.state() == QAbstractSocket::ConnectedState; }, 5000))
            qFatal("cannot connect to port %u", port);
    }
    void send(const QString& text) { ws.sendTextMessage(text); }
    void send(const QByteArray& bytes) { ws.sendBinaryMessage(bytes); }
    QJsonObject request(const QString& text, int timeoutMs = 10000) {
        const int before = replies;
        send(text);
        if (!waitUntil([&] { return replies > before; }, timeoutMs))
            qFatal("no reply to %s", qPrintable(text));
        return last;
    }
    void pair(const QString& code) {
        const QJsonObject reply =
            request(QStringLiteral("{\"t\":\"pair\",\"code\":\"%1\"}").arg(code));
        if (reply.value(QLatin1String("t")) != QLatin1String("paired")) qFatal("pairing refused");
        token = reply.value(QLatin1String("token")).toString();
    }
    void hello(const QString& withToken) {
        const QJsonObject reply =
            request(QStringLiteral("{\"t\":\"hello\",\"token\":\"%1\"}").arg(withToken));
        if (reply.value(QLatin1String("t")) != QLatin1String("authok")) qFatal("token refused");
    }
    // Everything sent before has been handled once the answer to this comes back.
    void roundTrip(int timeoutMs = 10000) {
        request(QStringLiteral("{\"t\":\"ping\"}"), timeoutMs);
    }
    qint64 unsent() const { return ws.bytesToWrite(); }

    QWebSocket ws;
    QString token;
};

QString moveText(double dx, double dy) {
    return QStringLiteral("{\"t\":\"mv\",\"dx\":%1,\"dy\":%2}")
        .arg(dx, 0, 'g', 17)
        .arg(dy, 0, 'g', 17);
}

QByteArray moveBytes(float dx, float dy) {
    QByteArray b(9, 0);
    b[0] = 1;
    qToLittleEndian(std::bit_cast<quint32>(dx), b.data() + 1);
    qToLittleEndian(std::bit_cast<quint32>(dy), b.data() + 5);
    return b;
}

// A move of the k-th message: every one of them is a few points, they cancel out in groups
// of five, and a small drift is left, so that any lost message shows in the end position.
QPointF patternMove(qint64 k, double drift) {
    static const double xs[] = {3, 3, -2, -2, -2}, ys[] = {-2, 3, -2, 3, -2};
    return {xs[k % 5] + drift, ys[k % 5] + drift / 2};
}

struct Bench {
    quint16 agentPort, echoPort;
    qint64 agentPid, echoPid;
    QString code;
    qint64 soundServerPid = 0;
    XProbe x;

    // From the send of a move (right after the command, when given) to the first raw motion
    // it causes.
    Stats agentLatency(Client& phone, bool binary, int samples, double gapMs,
                       const QString& command = {}) {
        Stats s;
        qint64 next = nowNs();
        for (int i = 0; i < samples; ++i) {
            sleepUntilNs(next);
            next += qint64(gapMs * 1e6);
            x.pump();
            const int before = x.raw;
            const double dx = i % 2 ? -1.5 : 1.5;  // posted whole in one step
            if (!command.isEmpty()) phone.send(command);
            const qint64 t0 = nowNs();
            if (binary)
                phone.send(moveBytes(float(dx), 0));
            else
                phone.send(moveText(dx, 0));
            phone.ws.flush();
            if (!waitUntil([&] { return x.raw > before; }, 2000)) qFatal("no motion");
            s.v.append(double(x.lastRawNs - t0) / 1e6);
        }
        return s;
    }

    // The same client's round trip to the echo server, then one XTEST motion with XSync, paced
    // like the moves it is the floor of: a machine woken from idle answers more slowly.
    Stats floorLatency(Client& echo, int samples, double gapMs) {
        Stats s;
        qint64 next = nowNs();
        for (int i = 0; i < samples; ++i) {
            sleepUntilNs(next);
            next += qint64(gapMs * 1e6);
            x.pump();
            const int before = x.raw, replies = echo.replies;
            const qint64 t0 = nowNs();
            echo.send(QStringLiteral("{\"t\":\"ping\"}"));
            echo.ws.flush();
            if (!waitUntil([&] { return echo.replies > replies; }, 2000)) qFatal("no echo");
            x.motionTo(900 + (i % 2) * 2, 500);
            if (!waitUntil([&] { return x.raw > before; }, 2000)) qFatal("no motion");
            s.v.append(double(x.lastRawNs - t0) / 1e6);
        }
        return s;
    }

    void latency() {
        constexpr double k60Hz = 1000 / 60.0, kApart = 300;
        Client phone(agentPort), echo(echoPort);
        phone.pair(code);
        // Floors before and after, so that a change of load in between shows in both.
        Stats floor = floorLatency(echo, 300, k60Hz);
        agentLatency(phone, false, 600, k60Hz).report(QStringLiteral("latency.stream.json"));
        agentLatency(phone, true, 600, k60Hz).report(QStringLiteral("latency.stream.binary"));
        floor.v += floorLatency(echo, 300, k60Hz).v;
        floor.report(QStringLiteral("latency.floor.stream"));

        floor = floorLatency(echo, 75, kApart);
        agentLatency(phone, false, 150, kApart).report(QStringLiteral("latency.single.json"));
        agentLatency(phone, true, 150, kApart).report(QStringLiteral("latency.single.binary"));
        if (soundServerPid > 0) {
            ::kill(pid_t(soundServerPid), SIGSTOP);
            agentLatency(phone, false, 100, kApart,
                         QStringLiteral("{\"t\":\"media\",\"name\":\"volumeup\"}"))
                .report(QStringLiteral("latency.volume_key"));
            ::kill(pid_t(soundServerPid), SIGCONT);
        }
        floor.v += floorLatency(echo, 75, kApart).v;
        floor.report(QStringLiteral("latency.floor.single"));
    }

    // 10,000 moves a second for 10 s from one client: CPU, and the end position.
    void stream(const QString& key, quint16 port, qint64 pid, bool binary) {
        constexpr qint64 kRate = 10000, kCount = 100000;
        Client phone(port);
        if (port == agentPort) phone.pair(code);
        x.motionTo(300, 250);
        sleepUntilNs(nowNs() + 400'000'000);  // the agent adopts where the pointer is
        const QPoint start = x.pointer();
        double sumX = 0, sumY = 0;
        qint64 sent = 0;
        const double cpu0 = cpuNs(pid);
        const qint64 t0 = nowNs();
        while (sent < kCount) {
            const qint64 due = std::min(kCount, (nowNs() - t0) * kRate / 1'000'000'000 + 1);
            for (; sent < due; ++sent) {
                const QPointF m = patternMove(sent, 0.01);
                if (binary) {
                    phone.send(moveBytes(float(m.x()), float(m.y())));
                    sumX += double(float(m.x())), sumY += double(float(m.y()));
                } else {
                    phone.send(moveText(m.x(), m.y()));
                    sumX += m.x(), sumY += m.y();
                }
            }
            sleepUntilNs(t0 + (sent * 1'000'000'000) / kRate);
        }
        phone.roundTrip();
        const double wall = double(nowNs() - t0);
        print(qPrintable(key + QStringLiteral(".cpu_percent")), 100 * (cpuNs(pid) - cpu0) / wall);
        print(qPrintable(key + QStringLiteral(".seconds")), wall / 1e9);
        if (port != agentPort) return;
        const QPoint end = x.settledPointer();
        const QPointF expected = QPointF(start) + QPointF(sumX, sumY);
        print(qPrintable(key + QStringLiteral(".missing_x")), expected.x() - end.x());
        print(qPrintable(key + QStringLiteral(".missing_y")), expected.y() - end.y());
    }

    // 50 clients, each sending 60 messages a second (moves and pings in turn) for 10 s.
    void clients(const QString& key, quint16 port) {
        constexpr int kClients = 50, kSeconds = 10;
        Stats rtt;
        QHash<QString, qint64> pending;
        std::vector<std::unique_ptr<Client>> all;
        QString token;
        for (int c = 0; c < kClients; ++c) {
            all.push_back(std::make_unique<Client>(port));
            if (port == agentPort) {
                if (c == 0)
                    all[0]->pair(code), token = all[0]->token;
                else
                    all[c]->hello(token);
            }
            all[c]->onReply = [&](const QJsonObject& reply) {
                const QString ts = reply.value(QLatin1String("ts")).toString();
                if (const auto it = pending.find(ts); it != pending.end()) {
                    rtt.v.append(double(nowNs() - *it) / 1e6);
                    pending.erase(it);
                }
            };
        }
        x.motionTo(300, 250);
        sleepUntilNs(nowNs() + 400'000'000);
        const QPoint start = x.pointer();
        double sumX = 0, sumY = 0;
        qint64 pings = 0, moves = 0;
        const qint64 period = 1'000'000'000 / 60, t0 = nowNs() + 20'000'000;
        // Client c sends its n-th message at t0 + n periods + its own offset within a period.
        for (qint64 n = 0; n < 60 * kSeconds; ++n) {
            for (int c = 0; c < kClients; ++c) {
                sleepUntilNs(t0 + n * period + c * period / kClients);
                if ((n + c) % 2) {
                    const QString ts = QStringLiteral("%1:%2").arg(c).arg(n);
                    pending.insert(ts, nowNs());
                    all[c]->send(QStringLiteral("{\"t\":\"ping\",\"ts\":\"%1\"}").arg(ts));
                    ++pings;
                } else {
                    const QPointF m = patternMove(moves++, 0.02);
                    all[c]->send(moveText(m.x(), m.y()));
                    sumX += m.x(), sumY += m.y();
                }
                all[c]->ws.flush();
            }
        }
        waitUntil([&] { return pending.isEmpty(); }, 5000);
        rtt.report(key);
        print(qPrintable(key + QStringLiteral(".lost_replies")), double(pending.size()));
        print(qPrintable(key + QStringLiteral(".messages")), double(pings + moves));
        if (port != agentPort) return;
        const QPoint end = x.settledPointer();
        print(qPrintable(key + QStringLiteral(".missing_x")), start.x() + sumX - end.x());
        print(qPrintable(key + QStringLiteral(".missing_y")), start.y() + sumY - end.y());
    }

    // A connected phone that sends nothing for 30 s, and a client of the echo server alike.
    void idle() {
        Client phone(agentPort), echo(echoPort);
        phone.pair(code);
        sleepUntilNs(nowNs() + 1'000'000'000);  // the smoothing timer of earlier moves stops
        const double agent0 = cpuNs(agentPid), echo0 = cpuNs(echoPid);
        const double wakeups0 = inputThreadWakeups(agentPid);
        sleepUntilNs(nowNs() + 30'000'000'000);
        print("idle.agent_cpu_ms", (cpuNs(agentPid) - agent0) / 1e6);
        print("idle.floor_cpu_ms", (cpuNs(echoPid) - echo0) / 1e6);
        print("idle.input_thread_wakeups", inputThreadWakeups(agentPid) - wakeups0);
    }

    static double settledRssKb(qint64 pid) {
        sleepUntilNs(nowNs() + 1'000'000'000);
        return rssKb(pid);
    }

    void all() {
        print("memory.agent_rss_start_kb", rssKb(agentPid));
        print("memory.floor_rss_start_kb", rssKb(echoPid));
        flood(agentPort, code, 1'000'000);
        print("memory.agent_rss_1m_kb", settledRssKb(agentPid));
        flood(agentPort, code, 4'000'000);
        print("memory.agent_rss_5m_kb", settledRssKb(agentPid));
        flood(agentPort, code, 5'000'000);
        print("memory.agent_rss_10m_kb", settledRssKb(agentPid));
        flood(echoPort, QString(), 1'000'000);
        print("memory.floor_rss_1m_kb", settledRssKb(echoPid));

        latency();
        stream(QStringLiteral("stream.json"), agentPort, agentPid, false);
        stream(QStringLiteral("stream.binary"), agentPort, agentPid, true);
        stream(QStringLiteral("stream.floor"), echoPort, echoPid, false);
        clients(QStringLiteral("clients.agent"), agentPort);
        clients(QStringLiteral("clients.floor"), echoPort);
        idle();
    }

    // As fast as the server takes them: moves in turn binary and JSON, back and forth in runs
    // of 20,000 (moves that cancel out within a tick would each cost the agent a round trip to
    // the X server, as it reads the cursor after 0.15 s without motion).
    static void flood(quint16 port, const QString& code, qint64 count) {
        Client phone(port);
        if (!code.isEmpty()) phone.pair(code);
        const qint64 t0 = nowNs();
        for (qint64 i = 0; i < count; ++i) {
            const double dx = (i / 20000) % 2 ? -1 : 1;
            if (i % 2)
                phone.send(moveBytes(float(dx), 0));
            else
                phone.send(moveText(dx, 0));
            if (phone.unsent() > 256 * 1024)
                waitUntil([&] { return phone.unsent() < 64 * 1024; }, 10000);
        }
        phone.roundTrip(120000);
        std::printf("# %lld messages to port %u in %.1f s\n", static_cast<long long>(count), port,
                    double(nowNs() - t0) / 1e9);
    }
};

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool accepting(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// From fork to the first accepted connection, killed at once after each start.
int startTimes(const char* key, int runs, char** command) {
    Stats s;
    for (int i = 0; i < runs; ++i) {
        const quint16 port = freePort();
        qputenv("OLVANE_WS_PORT", QByteArray::number(port));
        const qint64 t0 = nowNs();
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, STDOUT_FILENO);
            ::dup2(devnull, STDERR_FILENO);
            ::execvp(command[0], command);
            ::_exit(127);
        }
        while (!accepting(port)) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) qFatal("%s exited", command[0]);
            ::usleep(200);
        }
        s.v.append(double(nowNs() - t0) / 1e6);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    std::printf("%s.median_ms %.3f\n%s.max_ms %.3f\n", key, s.at(0.5), key, s.at(1.0));
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    clockTimer.start();
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("start") && argc > 4)
        return startTimes(argv[2], std::atoi(argv[3]), argv + 4);
    if (mode == QLatin1String("flood") && argc > 4) {
        Bench::flood(quint16(std::atoi(argv[2])), QString::fromLocal8Bit(argv[3]),
                     std::atoll(argv[4]));
        return 0;
    }
    if (mode != QLatin1String("all") || argc < 7) {
        std::fprintf(stderr, "usage: see the comment at the top of %s\n", __FILE__);
        return 2;
    }
    Bench bench{quint16(std::atoi(argv[2])),
                quint16(std::atoi(argv[4])),
                std::atoll(argv[3]),
                std::atoll(argv[5]),
                QString::fromLocal8Bit(argv[6]),
                argc > 7 ? std::atoll(argv[7]) : 0,
                {}};
    if (!bench.x.open()) {
        std::fprintf(stderr, "no X server with XInput 2 and XTEST in $DISPLAY\n");
        return 1;
    }
    bench.all();
    return 0;
}
