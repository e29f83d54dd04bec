#pragma once

#include "base/Clock.h"
#include "state/PairingGuard.h"
#include "state/TokenStore.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

struct Env;

struct AppStateConfig {
    quint16 wsPort = 8788;
    std::optional<QString> fixedCode;
    std::optional<QString> name;
    QString tokenFile;
    MonotonicClock clock = systemUptime;

    static AppStateConfig fromEnv(const Env& env);
};

enum class PairingResult { Accepted, WrongCode, LockedOut };

// State shared by the whole process: the pairing code, the issued tokens, the number of
// authenticated clients, and the callback through which the interface learns of changes.
class AppState {
public:
    static constexpr quint16 kDefaultPort = 8788;
    static constexpr const char* kVersion = "1.1.0 (13)";
    static constexpr const char* kFallbackName = "Mon Mac";

    explicit AppState(AppStateConfig config);
    ~AppState();

    // The process-wide instance, configured from the environment on first use.
    static AppState& shared();

    static quint16 parsePort(const std::optional<QString>& text);
    static QString generateCode(const std::optional<QString>& fixedCode);

    const quint16 wsPort;
    QString version() const { return QString::fromLatin1(kVersion); }
    QString tokensKey() const { return QString::fromLatin1(TokenStore::kKey); }
    QString displayName() const;

    QString pairingCode() const;
    qint64 connectedCount() const;
    void regenerateCode();
    // Compares a "pair" code with the current one, counting wrong guesses.
    PairingResult checkPairingCode(const QString& code);

    QString issueToken() { return tokens_.issue(); }
    void revokeToken(const QString& token) { tokens_.revoke(token); }
    bool isValidToken(const QString& token) const { return tokens_.contains(token); }
    const TokenStore& tokenStore() const { return tokens_; }

    void clientConnected();
    // Returns the count after the decrement.
    qint64 clientDisconnected();

    // Runs on the main thread after every change of the code or of the client count.
    void setOnChange(std::function<void()> callback);

private:
    void notifyChange();

    const std::optional<QString> fixedCode_;
    const std::optional<QString> name_;
    TokenStore tokens_;
    mutable std::mutex mutex_;
    QString _pairingCode;
    qint64 _connectedCount = 0;
    PairingGuard guard_;
    std::function<void()> onChange_;
    // Lives on the main thread; change notifications are posted to it.
    QPointer<QObject> notifier_;
};
