#include "state/AppState.h"

#include "base/Env.h"
#include "base/Log.h"
#include "state/SecretCompare.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

AppStateConfig AppStateConfig::fromEnv(const Env& env) {
    AppStateConfig config;
    config.wsPort = AppState::parsePort(env.wsPort);
    config.fixedCode = env.fixedCode;
    config.name = env.name;
    config.tokenFile = TokenStore::defaultPath();
    return config;
}

AppState::AppState(AppStateConfig config)
    : wsPort(config.wsPort),
      fixedCode_(std::move(config.fixedCode)),
      name_(std::move(config.name)),
      tokens_(std::move(config.tokenFile)),
      guard_(std::move(config.clock)) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        notifier_ = new QObject;
        notifier_->moveToThread(app->thread());
    }
    _pairingCode = generateCode(fixedCode_);
}

AppState::~AppState() {
    delete notifier_.data();
}

AppState& AppState::shared() {
    static AppState state(AppStateConfig::fromEnv(Env::process()));
    return state;
}

quint16 AppState::parsePort(const std::optional<QString>& text) {
    static const QRegularExpression form(QStringLiteral("^[+-]?[0-9]+$"));
    if (!text || !form.match(*text).hasMatch()) return kDefaultPort;
    bool ok = false;
    const qlonglong value = text->toLongLong(&ok);
    if (!ok || value < 0 || value > 65535) return kDefaultPort;
    return quint16(value);
}

QString AppState::generateCode(const std::optional<QString>& fixedCode) {
    if (fixedCode) return *fixedCode;
    const quint32 n = QRandomGenerator::system()->bounded(10000u);
    return QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0'));
}

QString AppState::displayName() const {
    if (name_) return *name_;
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QString::fromUtf8(kFallbackName) : host;
}

QString AppState::pairingCode() const {
    std::lock_guard lock(mutex_);
    return _pairingCode;
}

qint64 AppState::connectedCount() const {
    std::lock_guard lock(mutex_);
    return _connectedCount;
}

void AppState::regenerateCode() {
    {
        std::lock_guard lock(mutex_);
        _pairingCode = generateCode(fixedCode_);
        guard_.codeChanged();
    }
    notifyChange();
}

PairingResult AppState::checkPairingCode(const QString& code) {
    std::optional<double> lockout;
    {
        std::lock_guard lock(mutex_);
        if (guard_.isLockedOut()) return PairingResult::LockedOut;
        if (secretEquals(_pairingCode, code)) {
            guard_.recordSuccess();
            return PairingResult::Accepted;
        }
        lockout = guard_.recordFailure();
    }
    if (lockout) {
        logLine(QStringLiteral("Pairing locked for %1 s after %2 wrong codes")
                    .arg(*lockout)
                    .arg(PairingGuard::kFailuresPerLockout));
    }
    return PairingResult::WrongCode;
}

void AppState::clientConnected() {
    {
        std::lock_guard lock(mutex_);
        ++_connectedCount;
    }
    notifyChange();
}

qint64 AppState::clientDisconnected() {
    qint64 count;
    {
        std::lock_guard lock(mutex_);
        _connectedCount = std::max<qint64>(_connectedCount - 1, 0);
        count = _connectedCount;
    }
    notifyChange();
    return count;
}

void AppState::setOnChange(std::function<void()> callback) {
    onChange_ = std::move(callback);
}

void AppState::notifyChange() {
    if (!notifier_) return;
    // Posted events die with the notifier, so a change never reaches a destroyed state.
    QMetaObject::invokeMethod(
        notifier_.data(),
        [this] {
            if (onChange_) onChange_();
        },
        Qt::QueuedConnection);
}
