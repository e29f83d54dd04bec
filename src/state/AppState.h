// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/Clock.h"
#include "state/PairingGuard.h"
#include "state/TokenStore.h"

#include <QObject>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

struct Env;

struct AppStateConfig {
    static constexpr quint16 kDefaultPort = 8788;

    quint16 wsPort = kDefaultPort;
    std::optional<QString> fixedCode;
    std::optional<QString> name;
    QString tokenFile;
    MonotonicClock clock = systemUptime;

    static AppStateConfig fromEnv(const Env& env);
};

enum class PairingResult { Accepted, WrongCode, LockedOut };

// Why phones cannot reach the agent over the network: its port cannot be listened on.
struct PortTrouble {
    quint16 port = 0;
    // Another program listens there.
    bool taken = false;
    // Whose program, when the system tells.
    std::optional<uint> ownerUid;
    QString ownerName;

    bool operator==(const PortTrouble&) const = default;
};

// State shared by the whole process: the pairing code, the issued tokens and the number of
// authenticated clients. Safe to use from any thread.
class AppState : public QObject {
    Q_OBJECT
public:
    // The name of a computer without a host name, in the user's language.
    static constexpr const char* kFallbackName = QT_TRANSLATE_NOOP("AppState", "My computer");

    explicit AppState(AppStateConfig config);
    ~AppState() override;

    static quint16 parsePort(const std::optional<QString>& text);
    static QString generateCode(const std::optional<QString>& fixedCode);

    const quint16 wsPort;
    static QString version();
    QString displayName() const;

    QString pairingCode() const;
    qint64 connectedCount() const;
    void regenerateCode();
    // Compares a "pair" code with the current one, counting wrong guesses.
    PairingResult checkPairingCode(const QString& code);
    // Seconds before codes are compared again after too many wrong ones; 0 when they are.
    double pairingLockoutLeft() const;

    QString issueToken() { return tokens_.issue(); }
    void revokeToken(const QString& token) { tokens_.revoke(token); }
    bool isValidToken(const QString& token) const { return tokens_.contains(token); }
    const TokenStore& tokenStore() const { return tokens_; }

    void clientConnected();
    // Returns the count after the decrement.
    qint64 clientDisconnected();

    std::optional<PortTrouble> portTrouble() const;
    void setPortTrouble(const std::optional<PortTrouble>& trouble);

signals:
    // After every change of the code, the client count or the port's trouble, from the thread
    // that made it.
    void changed();

private:
    const std::optional<QString> fixedCode_;
    const std::optional<QString> name_;
    TokenStore tokens_;
    mutable std::mutex mutex_;
    QString _pairingCode;
    qint64 _connectedCount = 0;
    std::optional<PortTrouble> portTrouble_;
    PairingGuard guard_;
};
