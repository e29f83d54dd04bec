// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/SessionSubscribers.h"

#include <algorithm>

void SessionSubscribers::set(const std::shared_ptr<ClientSession>& session, bool subscribed) {
    std::lock_guard lock(mutex_);
    eraseLocked(*session);
    if (subscribed) sessions_.push_back(session);
}

void SessionSubscribers::remove(const ClientSession& session) {
    std::lock_guard lock(mutex_);
    eraseLocked(session);
}

// The session, and any that has ended.
void SessionSubscribers::eraseLocked(const ClientSession& session) {
    std::erase_if(sessions_, [&](const std::weak_ptr<ClientSession>& w) {
        const auto subscriber = w.lock();
        return !subscriber || subscriber.get() == &session;
    });
}

bool SessionSubscribers::any() {
    std::lock_guard lock(mutex_);
    return std::any_of(sessions_.begin(), sessions_.end(),
                       [](const std::weak_ptr<ClientSession>& w) { return !w.expired(); });
}

void SessionSubscribers::send(const QJsonObject& message) {
    std::lock_guard lock(mutex_);
    for (const auto& w : sessions_)
        if (const auto subscriber = w.lock(); subscriber && !subscriber->revoked)
            subscriber->sendJSON(message);
}
