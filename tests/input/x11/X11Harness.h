// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/x11/X11Backend.h"
#include "support/InputHarness.h"
#include "support/ListedPrograms.h"
#include "support/Wait.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

// A private Xvfb, covered by a window of another process that prints a line for each event
// reaching it (their form is in olvane_x11_window.cpp), and Input over the X11 backend with
// ticks driven by hand.
struct X11Harness {
    QProcess xvfb, window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QStringList lines;  // the window's, since it was ready or last cleared
    ManualInputClock* clock = nullptr;
    std::unique_ptr<Input> input;

    explicit X11Harness(int width = 1920, int height = 1080) {
        // -noreset, so that the pointer and the layout outlive the clients. Xvfb announces its
        // display once it takes clients.
        xvfb.start(listedProgram("Xvfb"), {"-displayfd", "1", "-screen", "0",
                                           QStringLiteral("%1x%2x24").arg(width).arg(height),
                                           "-noreset", "-nolisten", "tcp"});
        while (!xvfb.canReadLine() && xvfb.waitForReadyRead(20000)) {
        }
        environment.insert("DISPLAY", ':' + QString::fromLatin1(xvfb.readLine()).trimmed());
        window.setProcessEnvironment(environment);
        window.start(QStringLiteral(OLVANE_X11_WINDOW), {});
        EXPECT_TRUE(waitForEvents("ready", 1));
        lines.clear();
    }
    ~X11Harness() {
        input.reset();
        for (QProcess* process : {&window, &xvfb}) {
            process->terminate();
            process->waitForFinished();
        }
    }

    void startInput(Input::Options options = {}) {
        auto manual = std::make_unique<ManualInputClock>();
        clock = manual.get();
        input = std::make_unique<Input>(std::make_unique<X11Backend>(environment.value("DISPLAY")),
                                        std::move(manual), options);
    }
    // Ticks until the smoothing rests.
    void drain() { clock->tickUntilStopped(*input, 2000); }

    // Runs an X client (xdotool, xrandr, xmodmap...) on this display; its output.
    QString run(const QString& program, const QStringList& arguments) const {
        QProcess client;
        client.setProcessEnvironment(environment);
        client.start(listedProgram(program), arguments);
        client.waitForFinished(20000);
        return QString::fromUtf8(client.readAllStandardOutput());
    }
    bool pointerReaches(int x, int y) const {
        const QString at = QStringLiteral("x:%1 y:%2 ").arg(x).arg(y);
        return waitUntil([&] { return run("xdotool", {"getmouselocation"}).startsWith(at); });
    }
    // Keys held down on the keyboard XTEST clients share: ours and xdotool's.
    QStringList keysDown() const {
        QStringList keys;
        const QString state = run("xinput", {"query-state", "Virtual core XTEST keyboard"});
        for (const auto& m : QRegularExpression("key\\[(\\d+)\\]=down").globalMatch(state))
            keys << m.captured(1);
        return keys;
    }

    // The window's lines of one event, without the event's name.
    QStringList events(const QString& name) {
        while (window.canReadLine()) lines << QString::fromUtf8(window.readLine()).trimmed();
        return lines.filter(QRegularExpression('^' + name + "( |$)"))
            .replaceInStrings(QRegularExpression('^' + name + " ?"), "");
    }
    bool waitForEvents(const QString& name, int count) {
        return waitUntil([&] { return events(name).size() >= count; }, 15000);
    }
    // The text the key presses typed, as the window's keymap reads it.
    QString text() {
        QByteArray utf8;
        for (const QString& press : events("key-press"))
            utf8 += QByteArray::fromHex(press.section(' ', 2).toLatin1());
        return QString::fromUtf8(utf8);
    }
};
