// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/PageClock.h"

#include <QJsonObject>
#include <QStringList>

#include <atomic>
#include <functional>

// One connected client, whatever its transport. The transport supplies how to send a reply
// and how to end the connection; both do nothing once the connection is gone, and sendJSON
// may be called from any thread. authed, counted and clock are touched only on the
// transport's queue; revoked may be set from any thread.
class ClientSession {
public:
    using SendJSON = std::function<void(const QJsonObject&)>;
    using Close = std::function<void()>;

    ClientSession(SendJSON sendJSON, Close close)
        : sendJSON_(std::move(sendJSON)), close_(std::move(close)) {}

    bool authed = false;
    bool counted = false;
    // Its token was revoked: it is being closed and nothing it sends is carried out.
    std::atomic<bool> revoked = false;
    // The page's clock, for input it stamps.
    PageClock clock;
    // Modifiers it holds down, let go when it ends.
    QStringList heldModifiers;

    void sendJSON(const QJsonObject& message) const {
        if (sendJSON_) sendJSON_(message);
    }
    void close() const {
        if (close_) close_();
    }

private:
    SendJSON sendJSON_;
    Close close_;
};
