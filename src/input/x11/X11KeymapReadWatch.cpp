// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/x11/X11KeymapReadWatch.h"

#include "input/x11/X11Connection.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QtEndian>

#include <algorithm>
#include <cstring>

#include <poll.h>

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/XKBproto.h>
#include <X11/extensions/record.h>

namespace {
constexpr int kStartTimeoutMs = 2000;

template <typename Int>
Int read(const unsigned char* at, bool swapped) {
    Int value = 0;
    std::memcpy(&value, at, sizeof value);
    return swapped ? qbswap(value) : value;
}

quint16 card16(const unsigned char* at, bool swapped) {
    return read<quint16>(at, swapped);
}

quint32 card32(const unsigned char* at, bool swapped) {
    return read<quint32>(at, swapped);
}

void onRecord(XPointer watch, XRecordInterceptData* data) {
    reinterpret_cast<X11KeymapReadWatch*>(watch)->onRecorded(
        data->category, data->id_base, data->data, data->data_len * 4, data->client_swapped);
    XRecordFreeData(data);
}
}  // namespace

std::unique_ptr<X11KeymapReadWatch> X11KeymapReadWatch::start(X11Connection& connection) {
    int major = 0, minor = 0;
    if (!XRecordQueryVersion(connection.display(), &major, &minor)) return nullptr;
    QString error;
    std::unique_ptr<X11Connection> data = X11Connection::open(connection.name(), &error);
    if (!data) return nullptr;
    std::unique_ptr<X11KeymapReadWatch> watch(new X11KeymapReadWatch(connection, std::move(data)));
    if (!watch->enable()) return nullptr;
    return watch;
}

X11KeymapReadWatch::X11KeymapReadWatch(X11Connection& connection,
                                       std::unique_ptr<X11Connection> data)
    : x_(connection), data_(std::move(data)) {}

X11KeymapReadWatch::~X11KeymapReadWatch() {
    notifier_.reset();
    if (context_ && !x_.lost()) {
        XRecordDisableContext(x_.display(), context_);
        XRecordFreeContext(x_.display(), context_);
        x_.sync();
    }
    // Closing the recording connection hands over what it still held, which must find this
    // object whole.
    data_.reset();
}

bool X11KeymapReadWatch::enable() {
    Display* display = x_.display();
    int event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &xkbOpcode_, &event, &error, &major, &minor)) return false;
    clientMask_ = XRecordIdBaseMask(display);
    ownClient_ = xcb_get_setup(x_.xcb())->resource_id_base & clientMask_;
    protocolsAtom_ = XInternAtom(display, "WM_PROTOCOLS", False);
    pingAtom_ = XInternAtom(display, "_NET_WM_PING", False);
    XRecordRange* core = XRecordAllocRange();
    XRecordRange* xkb = XRecordAllocRange();
    XRecordRange* pong = XRecordAllocRange();
    if (core && xkb && pong) {
        core->core_requests.first = core->core_requests.last = X_GetKeyboardMapping;
        xkb->ext_requests.ext_major.first = xkb->ext_requests.ext_major.last = xkbOpcode_;
        xkb->ext_requests.ext_minor.first = X_kbGetMap;
        xkb->ext_requests.ext_minor.last = X_kbSetMap;
        pong->core_requests.first = pong->core_requests.last = X_SendEvent;
        XRecordRange* ranges[] = {core, xkb, pong};
        XRecordClientSpec clients = XRecordAllClients;
        context_ = XRecordCreateContext(display, 0, &clients, 1, ranges, 3);
    }
    for (XRecordRange* range : {core, xkb, pong})
        if (range) XFree(range);
    if (!context_ || !x_.syncChecked()) return false;
    if (!XRecordEnableContextAsync(data_->display(), context_, onRecord,
                                   reinterpret_cast<XPointer>(this)))
        return false;
    // Changes made before the server records would never be seen.
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!started_ && !data_->lost() && !deadline.hasExpired()) {
        pollfd fd{ConnectionNumber(data_->display()), POLLIN, 0};
        poll(&fd, 1, int(deadline.remainingTime()));
        XRecordProcessReplies(data_->display());
    }
    if (!started_) return false;
    // Read as it comes, so that the server keeps nothing for us.
    notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(data_->display()),
                                                  QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        if (!data_->lost()) XRecordProcessReplies(data_->display());
    });
    return true;
}

void X11KeymapReadWatch::changed(xkb_keycode_t first, xkb_keycode_t last) {
    first_ = first;
    last_ = last;
    ++changesMade_;
}

bool X11KeymapReadWatch::waitForFocusedReader(int timeoutMs) {
    const unsigned long client = focusedClient();
    if (!client || client == ownClient_) return false;
    return waitUntil([&] { return readAfter_.value(client, -1) >= changesMade_; }, timeoutMs);
}

quint32 X11KeymapReadWatch::ping() {
    const Window window = focusedPingWindow();
    if (!window) return 0;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocolsAtom_;
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(pingAtom_);
    event.xclient.data.l[1] = long(++pingsSent_);
    event.xclient.data.l[2] = long(window);
    event.xclient.data.l[4] = kPingMark;
    pingedClient_ = window & clientMask_;
    XSendEvent(x_.display(), window, False, NoEventMask, &event);
    x_.flush();
    return pingsSent_;
}

bool X11KeymapReadWatch::waitForPong(quint32 ping, int timeoutMs) {
    return waitUntil([&] { return pongs_ >= ping; }, timeoutMs);
}

bool X11KeymapReadWatch::waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!data_->lost() && !x_.lost()) {
        XRecordProcessReplies(data_->display());
        if (done()) return true;
        if (deadline.hasExpired()) return false;
        pollfd fd{ConnectionNumber(data_->display()), POLLIN, 0};
        poll(&fd, 1, int(deadline.remainingTime()));
    }
    return false;
}

// The top-level window of the program with the keyboard focus, if it answers pings.
Window X11KeymapReadWatch::focusedPingWindow() const {
    Display* display = x_.display();
    Window window = None;
    int revert = 0;
    XGetInputFocus(display, &window, &revert);
    for (int depth = 0; window != None && window != PointerRoot && depth < 8; ++depth) {
        Atom* protocols = nullptr;
        int count = 0;
        if (XGetWMProtocols(display, window, &protocols, &count)) {
            const bool pings =
                std::find(protocols, protocols + count, pingAtom_) != protocols + count;
            XFree(protocols);
            return pings && !x_.lost() ? window : None;
        }
        Window root = None, parent = None, *children = nullptr;
        unsigned childCount = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &childCount)) break;
        if (children) XFree(children);
        window = parent == root ? None : parent;
    }
    return None;
}

void X11KeymapReadWatch::onRecorded(int category, unsigned long client,
                                    const unsigned char* request, unsigned long size,
                                    bool swapped) {
    if (category == XRecordStartOfData) started_ = true;
    if (category != XRecordFromClient || size < 4) return;
    client &= clientMask_;
    if (client == ownClient_) {
        if (request[0] == xkbOpcode_ && request[1] == X_kbSetMap) ++changesSeen_;
    } else if (readsKeys(request, size, swapped)) {
        readAfter_.insert(client, changesSeen_);
    } else if (client == pingedClient_) {
        pongs_ = std::max(pongs_, pongIn(request, size, swapped));
    }
}

// The number of our ping a program sends back to the root window, or 0.
quint32 X11KeymapReadWatch::pongIn(const unsigned char* request, unsigned long size,
                                   bool swapped) const {
    if (request[0] != X_SendEvent || size < sz_xSendEventReq) return 0;
    const auto* send = reinterpret_cast<const xSendEventReq*>(request);
    const auto at = [&](const CARD32& field) {
        return card32(reinterpret_cast<const unsigned char*>(&field), swapped);
    };
    const auto& message = send->event.u.clientMessage;
    if ((send->event.u.u.type & 0x7f) != ClientMessage || at(message.u.l.type) != protocolsAtom_ ||
        at(message.u.l.longs0) != pingAtom_ || at(message.u.l.longs4) != quint32(kPingMark))
        return 0;
    const quint32 ping = at(message.u.l.longs1);
    return ping <= pingsSent_ ? ping : 0;
}

// Whether the request asks for the symbols of every key our latest change spans.
bool X11KeymapReadWatch::readsKeys(const unsigned char* request, unsigned long size,
                                   bool swapped) const {
    if (request[0] == X_GetKeyboardMapping && size >= sz_xGetKeyboardMappingReq) {
        const auto* get = reinterpret_cast<const xGetKeyboardMappingReq*>(request);
        return get->firstKeyCode <= first_ && get->firstKeyCode + get->count > last_;
    }
    if (request[0] != xkbOpcode_ || request[1] != X_kbGetMap || size < sz_xkbGetMapReq)
        return false;
    const auto* get = reinterpret_cast<const xkbGetMapReq*>(request);
    const auto at = [&](const CARD16& field) {
        return card16(reinterpret_cast<const unsigned char*>(&field), swapped);
    };
    if (at(get->full) & XkbKeySymsMask) return true;
    return (at(get->partial) & XkbKeySymsMask) && get->firstKeySym <= first_ &&
           get->firstKeySym + get->nKeySyms > last_;
}

// The program whose window has the keyboard focus, or with none, the one under the pointer.
unsigned long X11KeymapReadWatch::focusedClient() const {
    Display* display = x_.display();
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus == PointerRoot || focus == None) {
        Window root = None;
        int x = 0, y = 0;
        unsigned mask = 0;
        XQueryPointer(display, x_.root(), &root, &focus, &x, &y, &x, &y, &mask);
    }
    return focus == None || x_.lost() ? 0 : focus & clientMask_;
}
