#pragma once

#include "router/Router.h"
#include "state/AppState.h"
#include "support/InputHarness.h"

#include <QJsonArray>
#include <QTemporaryDir>

// A router over a real state (in a temporary folder, code "4321") and a recording input.
struct RouterHarness : InputHarness {
    QTemporaryDir dir;
    std::unique_ptr<AppState> state;
    std::unique_ptr<Router> router;
    RecordingVolume* volume;

    explicit RouterHarness(Router::Options options = {}) {
        AppStateConfig c;
        c.tokenFile = dir.filePath("tokens.json");
        c.fixedCode = "4321";
        c.name = "Bureau";
        c.wsPort = 0;
        state = std::make_unique<AppState>(c);
        router = std::make_unique<Router>(*state, *input, options);
        auto v = std::make_unique<RecordingVolume>();
        volume = v.get();
        input->setVolumeControl(std::move(v));
    }

    struct Client {
        QList<QJsonObject> replies;
        int closes = 0;
        std::shared_ptr<ClientSession> session;
        Client()
            : session(std::make_shared<ClientSession>(
                  [this](const QJsonObject& m) { replies.append(m); }, [this] { ++closes; })) {}
        QJsonObject last() const { return replies.isEmpty() ? QJsonObject{} : replies.last(); }
    };

    QJsonObject send(Client& client, const QJsonObject& message) {
        const qsizetype before = client.replies.size();
        router->handleJSON(message, client.session);
        flush();
        return client.replies.size() > before ? client.replies.last() : QJsonObject{};
    }

    QString pair(Client& client) {
        return send(client, {{"t", "pair"}, {"code", "4321"}}).value("token").toString();
    }
};
