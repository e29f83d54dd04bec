// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/ClientSession.h"

#include <QJsonObject>

#include <memory>
#include <mutex>
#include <vector>

// The sessions that asked to be told of something. Held weakly, so an ended connection is
// never kept alive by it; safe from any thread.
class SessionSubscribers {
public:
    void set(const std::shared_ptr<ClientSession>& session, bool subscribed);
    void remove(const ClientSession& session);
    bool any();
    // To every live session whose token was not revoked.
    void send(const QJsonObject& message);

private:
    void eraseLocked(const ClientSession& session);

    std::mutex mutex_;
    std::vector<std::weak_ptr<ClientSession>> sessions_;
};
