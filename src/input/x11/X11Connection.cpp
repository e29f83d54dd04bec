// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/x11/X11Connection.h"

#include "base/Log.h"

#include <QAbstractEventDispatcher>
#include <QHash>
#include <QSocketNotifier>
#include <QThread>

#include <mutex>

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <xkbcommon/xkbcommon-x11.h>

namespace {
// Xlib's error handlers are process-wide; they answer for our connections and hand every
// other display (Qt's, say) to the handler that was there before.
std::mutex handlersMutex;
QHash<Display*, X11Connection*> connections;
XErrorHandler previousErrorHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

X11Connection* connectionOf(Display* display) {
    std::lock_guard lock(handlersMutex);
    return connections.value(display);
}

int onProtocolError(Display* display, XErrorEvent* error) {
    if (X11Connection* connection = connectionOf(display)) {
        char text[256] = {};
        XGetErrorText(display, error->error_code, text, sizeof text);
        connection->onProtocolError(QStringLiteral("%1 (request %2.%3)")
                                        .arg(QString::fromLocal8Bit(text))
                                        .arg(error->request_code)
                                        .arg(error->minor_code));
        return 0;
    }
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

int onIOError(Display* display) {
    // Ours: the exit handler below decides, and it does not exit.
    if (connectionOf(display)) return 0;
    return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
}

void onIOErrorExit(Display*, void* connection) {
    static_cast<X11Connection*>(connection)->onFatalIOError();
}

void registerConnection(Display* display, X11Connection* connection) {
    std::lock_guard lock(handlersMutex);
    // Installed again on every connection, in case a toolkit replaced them meanwhile.
    const XErrorHandler error = XSetErrorHandler(onProtocolError);
    if (error != onProtocolError) previousErrorHandler = error;
    const XIOErrorHandler io = XSetIOErrorHandler(onIOError);
    if (io != onIOError) previousIOErrorHandler = io;
    connections.insert(display, connection);
}

void unregisterConnection(Display* display) {
    std::lock_guard lock(handlersMutex);
    connections.remove(display);
}
}  // namespace

std::unique_ptr<X11Connection> X11Connection::open(const QString& name, QString* error) {
    const QByteArray encoded = name.toLocal8Bit();
    Display* display = XOpenDisplay(name.isEmpty() ? nullptr : encoded.constData());
    if (!display) {
        *error = QStringLiteral("cannot open display \"%1\"")
                     .arg(name.isEmpty() ? qEnvironmentVariable("DISPLAY") : name);
        return nullptr;
    }
    std::unique_ptr<X11Connection> connection(
        new X11Connection(display, QString::fromLocal8Bit(DisplayString(display))));
    if (!connection->setUp(error)) return nullptr;
    return connection;
}

X11Connection::X11Connection(Display* display, QString name)
    : display_(display), name_(std::move(name)) {
    registerConnection(display_, this);
    XSetIOErrorExitHandler(display_, onIOErrorExit, this);
}

X11Connection::~X11Connection() {
    notifier_.reset();
    XCloseDisplay(display_);
    unregisterConnection(display_);
}

bool X11Connection::setUp(QString* error) {
    int event = 0, errorBase = 0, major = 0, minor = 0;
    hasXTest_ = XTestQueryExtension(display_, &event, &errorBase, &major, &minor);
    if (hasXTest_) {
        xtestVersion_ = QStringLiteral("%1.%2").arg(major).arg(minor);
        // Our requests go through even while another client grabs the server.
        XTestGrabControl(display_, True);
    }
    hasRandR_ = XRRQueryExtension(display_, &event, &errorBase);

    int opcode = 0;
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (XkbQueryExtension(display_, &opcode, &event, &errorBase, &major, &minor) &&
        xkb_x11_setup_xkb_extension(
            xcb(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
        xkbEventType_ = event;
        xkbDeviceId_ = xkb_x11_get_core_keyboard_device_id(xcb());
    }
    if (lost()) {
        *error = QStringLiteral("display \"%1\" closed the connection").arg(name_);
        return false;
    }
    return true;
}

xcb_connection_t* X11Connection::xcb() const {
    return XGetXCBConnection(display_);
}

int X11Connection::screen() const {
    return DefaultScreen(display_);
}

unsigned long X11Connection::root() const {
    return DefaultRootWindow(display_);
}

void X11Connection::watch(QObject* receiver, std::function<void()> onReadable,
                          std::function<void()> onLost) {
    receiver_ = receiver;
    onReadable_ = std::move(onReadable);
    onLost_ = std::move(onLost);
    notifier_ =
        std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
    // Both end with the notifier, that is with this connection.
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        if (!lost()) onReadable_();
    });
    // Replies read while waiting for something else may bring events along; the socket is then
    // quiet although events wait in Xlib's or xcb's queue. Look before the thread sleeps.
    if (auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread())) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, notifier_.get(),
                         [this] {
                             if (!lost() && XEventsQueued(display_, QueuedAfterReading) > 0)
                                 onReadable_();
                         });
    }
}

bool X11Connection::nextEvent(XEvent* event) {
    if (lost() || XEventsQueued(display_, QueuedAfterReading) <= 0 || lost()) return false;
    XNextEvent(display_, event);
    return true;
}

void X11Connection::flush() {
    if (!lost()) XFlush(display_);
}

void X11Connection::sync() {
    if (!lost()) XSync(display_, False);
}

bool X11Connection::syncChecked() {
    if (lost()) return false;
    checking_ = true;
    XSync(display_, False);
    checking_ = false;
    const bool clean = refused_ == 0;
    refused_ = 0;
    return clean && !lost();
}

void X11Connection::onProtocolError(const QString& text) {
    if (checking_) {
        ++refused_;
        return;
    }
    logLine(QStringLiteral("X11: the server refused a request: %1").arg(text));
}

void X11Connection::onFatalIOError() {
    if (lost_.exchange(true)) return;
    // Inside Xlib here: the owner tears the connection down later, from the event loop.
    if (receiver_ && onLost_)
        QMetaObject::invokeMethod(receiver_.data(), onLost_, Qt::QueuedConnection);
}
