#pragma once

#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// A private X server for one test: Xvfb on a display number it picks itself, with -noreset so
// that the pointer and the layout survive clients leaving. Stopped, by its own process, when
// the object goes.
class XvfbServer {
public:
    explicit XvfbServer(int width = 1920, int height = 1080);
    ~XvfbServer();

    bool running() const;
    QString display() const { return display_; }

    // Runs an X client (xdotool, setxkbmap, xrandr...) on this display and returns its output;
    // ok, when given, tells whether it exited with status 0.
    QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr) const;
    // The pointer as xdotool reads it.
    QPoint pointer() const;
    // Keys held down on the core keyboard's devices, as xinput reads them.
    QList<int> keysDown() const;
    // Whether the keyboard's Caps Lock is on, as xset reads it.
    bool capsLockOn() const;
    // The core keyboard mapping as xmodmap prints it.
    QString keyboardMapping() const;

private:
    bool launch();
    void stop();

    int width_, height_;
    QString display_;
    std::unique_ptr<QProcess> process_;
};
