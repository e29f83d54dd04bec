// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/x11/X11KeymapReadWatch.h"

#include "input/x11/X11Connection.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QtEndian>

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

quint16 card16(const unsigned char* at, bool swapped) {
    quint16 value = 0;
    std::memcpy(&value, at, sizeof value);
    return swapped ? qbswap(value) : value;
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
    XRecordRange* core = XRecordAllocRange();
    XRecordRange* xkb = XRecordAllocRange();
    if (core && xkb) {
        core->core_requests.first = core->core_requests.last = X_GetKeyboardMapping;
        xkb->ext_requests.ext_major.first = xkb->ext_requests.ext_major.last = xkbOpcode_;
        xkb->ext_requests.ext_minor.first = X_kbGetMap;
        xkb->ext_requests.ext_minor.last = X_kbSetMap;
        XRecordRange* ranges[] = {core, xkb};
        XRecordClientSpec clients = XRecordAllClients;
        context_ = XRecordCreateContext(display, 0, &clients, 1, ranges, 2);
    }
    if (core) XFree(core);
    if (xkb) XFree(xkb);
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
    QDeadlineTimer deadline(timeoutMs);
    while (!data_->lost() && !x_.lost()) {
        XRecordProcessReplies(data_->display());
        if (readAfter_.value(client, -1) >= changesMade_) return true;
        if (deadline.hasExpired()) return false;
        pollfd fd{ConnectionNumber(data_->display()), POLLIN, 0};
        poll(&fd, 1, int(deadline.remainingTime()));
    }
    return false;
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
    }
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
