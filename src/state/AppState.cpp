// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/AppState.h"

#include "base/Env.h"
#include "base/Log.h"
#include "base/Version.h"
#include "state/SecretCompare.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

AppStateConfig AppStateConfig::fromEnv(const Env& env) {
    AppStateConfig config;
    config.wsPort = AppState::parsePort(env.wsPort);
    // Anyone could pair with an empty code (a "pair" without one sends it).
    if (env.fixedCode && env.fixedCode->isEmpty())
        logLine(
            QStringLiteral("OLVANE_FIXED_CODE is empty, which anyone could pair with; using a "
                           "random code"));
    else
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
    _pairingCode = generateCode(fixedCode_);
}

AppState::~AppState() = default;

QString AppState::version() {
    return QString::fromLatin1(Version::kText);
}

quint16 AppState::parsePort(const std::optional<QString>& text) {
    // Anchored at the very end: "$" would also let a trailing newline through.
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("[+-]?[0-9]+")));
    if (!text || !form.match(*text).hasMatch()) return AppStateConfig::kDefaultPort;
    bool ok = false;
    const qlonglong value = text->toLongLong(&ok);
    if (!ok || value < 0 || value > 65535) return AppStateConfig::kDefaultPort;
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
    return host.isEmpty() ? QCoreApplication::translate("AppState", kFallbackName) : host;
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
        const QString before = _pairingCode;
        // A new code is another code, unless it is fixed.
        do {
            _pairingCode = generateCode(fixedCode_);
        } while (!fixedCode_ && _pairingCode == before);
        guard_.codeChanged(_pairingCode != before);
    }
    emit changed();
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

double AppState::pairingLockoutLeft() const {
    std::lock_guard lock(mutex_);
    return guard_.secondsLeft();
}

void AppState::clientConnected() {
    {
        std::lock_guard lock(mutex_);
        ++_connectedCount;
    }
    emit changed();
}

qint64 AppState::clientDisconnected() {
    qint64 count;
    {
        std::lock_guard lock(mutex_);
        _connectedCount = std::max<qint64>(_connectedCount - 1, 0);
        count = _connectedCount;
    }
    emit changed();
    return count;
}

std::optional<PortTrouble> AppState::portTrouble() const {
    std::lock_guard lock(mutex_);
    return portTrouble_;
}

void AppState::setPortTrouble(const std::optional<PortTrouble>& trouble) {
    {
        std::lock_guard lock(mutex_);
        if (portTrouble_ == trouble) return;
        portTrouble_ = trouble;
    }
    emit changed();
}
