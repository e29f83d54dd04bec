// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;
struct xcb_connection_t;
class QSocketNotifier;

// The input backend's own connection to the X server, used only on the thread that opened it.
// A server that goes away ends the connection, never the process: Xlib's fatal I/O error is
// turned into lost() and one call of onLost from the event loop. Protocol errors are logged.
class X11Connection {
public:
    // Opens the display (an empty name means $DISPLAY); null, with the reason, when it cannot.
    static std::unique_ptr<X11Connection> open(const QString& name, QString* error);
    ~X11Connection();

    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    Display* display() const { return display_; }
    xcb_connection_t* xcb() const;
    QString name() const { return name_; }
    int screen() const;
    unsigned long root() const;

    bool hasXTest() const { return hasXTest_; }
    QString xtestVersion() const { return xtestVersion_; }
    bool hasRandR() const { return hasRandR_; }
    // XKB as Xlib and as xkbcommon see it; -1 / false when the server has no XKB.
    int xkbEventType() const { return xkbEventType_; }
    int xkbDeviceId() const { return xkbDeviceId_; }

    // After a fatal I/O error every request is pointless; the owner drops the connection.
    bool lost() const { return lost_.load(); }

    // onReadable runs on this thread whenever events may be waiting (read them with nextEvent);
    // onLost runs once, from the event loop and in receiver's context, after the connection
    // broke. The receiver may destroy the connection then.
    void watch(QObject* receiver, std::function<void()> onReadable, std::function<void()> onLost);
    // The next event already received, without waiting; false when there is none.
    bool nextEvent(XEvent* event);

    void flush();
    // Sends the requests made so far and waits until the server has handled them. Returns false
    // when it refused any request since the last check, or the connection is gone. Errors met
    // while checking are counted, not logged: the caller reports them in its own words.
    bool syncChecked();
    void sync();

    // Called by the process-wide Xlib handlers.
    void onProtocolError(const QString& text);
    void onFatalIOError();

private:
    X11Connection(Display* display, QString name);
    bool setUp(QString* error);

    Display* display_;
    QString name_;
    bool hasXTest_ = false;
    QString xtestVersion_;
    bool hasRandR_ = false;
    int xkbEventType_ = -1;
    int xkbDeviceId_ = -1;
    std::atomic<bool> lost_{false};
    bool checking_ = false;
    int refused_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onReadable_;
    std::function<void()> onLost_;
    QPointer<QObject> receiver_;
};
