// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>

#include <functional>
#include <memory>

#include <xkbcommon/xkbcommon.h>

class QSocketNotifier;
class X11Connection;

// Tells when the program that has the keyboard has read our latest keymap change from the
// server. Programs read a change when they get round to its notice, and Xlib forgets a notice
// that arrives while it is reading an earlier change; Tk, which looks key events up as it
// reads them, then sees a lent key with the symbols it had before. Keys pressed only after
// the program has asked the server for the changed keys, later than the change, are looked up
// with their new symbols, whatever notices it forgot.
//
// Sees the requests of every program through the RECORD extension, on a connection of its own,
// in the order the server runs them; our own change requests mark where each change lies.
class X11KeymapReadWatch {
public:
    // Null when the server has no RECORD extension or refuses to record.
    static std::unique_ptr<X11KeymapReadWatch> start(X11Connection& connection);
    ~X11KeymapReadWatch();

    // Call once our change of the keys first..last has been sent (and synced).
    void changed(xkb_keycode_t first, xkb_keycode_t last);
    // Waits, at most timeoutMs, until the program with the keyboard focus (none: the one under
    // the pointer) has asked for those keys since our latest change. False on timeout.
    bool waitForFocusedReader(int timeoutMs);

    // Sends the program with the keyboard focus a _NET_WM_PING, if its window takes them.
    // Programs handle their events in order, and toolkits that answer pings (GTK among them)
    // look a key press up as they take it in: the answer shows that every key press sent to it
    // before has been looked up. The ping number, or 0 when its window does not take pings.
    quint32 ping();
    quint32 pingsSent() const { return pingsSent_; }
    // The latest of our pings answered; waits, at most timeoutMs, for this one.
    quint32 pongs() const { return pongs_; }
    bool waitForPong(quint32 ping, int timeoutMs);

    // One record of the server's, as the record callback passes it on.
    void onRecorded(int category, unsigned long client, const unsigned char* request,
                    unsigned long size, bool swapped);

private:
    X11KeymapReadWatch(X11Connection& connection, std::unique_ptr<X11Connection> data);
    bool enable();
    bool readsKeys(const unsigned char* request, unsigned long size, bool swapped) const;
    unsigned long focusedClient() const;
    unsigned long focusedPingWindow() const;
    quint32 pongIn(const unsigned char* request, unsigned long size, bool swapped) const;
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);

    // Marks our pings apart from a window manager's.
    static constexpr long kPingMark = 0x4f4c56;

    X11Connection& x_;
    std::unique_ptr<X11Connection> data_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool started_ = false;
    unsigned long context_ = 0;
    unsigned long ownClient_ = 0;
    unsigned long clientMask_ = 0;
    int xkbOpcode_ = -1;
    xkb_keycode_t first_ = 0, last_ = 0;
    // Our change requests made, and seen in the record.
    int changesMade_ = 0, changesSeen_ = 0;
    // Per program: how many of our changes the record showed before it last asked for the keys.
    QHash<unsigned long, int> readAfter_;
    unsigned long protocolsAtom_ = 0, pingAtom_ = 0;
    unsigned long pingedClient_ = 0;
    quint32 pingsSent_ = 0, pongs_ = 0;
};
