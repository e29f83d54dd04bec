#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

class XvfbServer;

// A window of another process that records what reaches it (olvane_x11_window): the keys and
// the text they type, buttons, motion, and the raw XInput 2 events of the whole server.
class RecordingWindow {
public:
    explicit RecordingWindow(const XvfbServer& server);
    ~RecordingWindow();

    bool ready() const { return ready_; }
    // Every line so far (see olvane_x11_window.cpp for their form).
    QStringList lines();
    // The lines that start with the given event name, without the name.
    QStringList events(const QString& name);
    // The text typed so far, from the key presses.
    QString text();
    // Waits until the window has typed at least length characters; returns the text.
    QString waitForText(qsizetype length, int timeoutMs = 60000);
    // Waits until count lines start with the event name.
    bool waitForEvents(const QString& name, qsizetype count, int timeoutMs = 10000);
    // Forgets everything recorded so far.
    void clear();

private:
    void read();

    std::unique_ptr<QProcess> process_;
    QStringList lines_;
    QByteArray partial_;
    bool ready_ = false;
};
