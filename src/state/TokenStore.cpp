// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/TokenStore.h"

#include "base/Log.h"
#include "base/PrivateFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUuid>

#include <cerrno>

namespace {
// The file's one key: the list of tokens issued to phones.
constexpr const char* kTokensKey = "olvane.tokens";

QByteArray digestOf(const QString& token) {
    return QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256);
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}
}  // namespace

TokenStore::Stamp TokenStore::Stamp::of(const QString& path) {
    Stamp stamp;
    if (::stat(QFile::encodeName(path).constData(), &stamp.st) == 0) {
        stamp.known = true;
    } else {
        // A missing file is a state like any other: zeros, until it appears.
        stamp.known = errno == ENOENT;
        stamp.st = {};
    }
    return stamp;
}

bool TokenStore::Stamp::operator==(const Stamp& other) const {
    return known && other.known && st.st_dev == other.st.st_dev && st.st_ino == other.st.st_ino &&
           st.st_size == other.st.st_size && st.st_mode == other.st.st_mode &&
           sameTime(st.st_mtim, other.st.st_mtim) && sameTime(st.st_ctim, other.st.st_ctim);
}

TokenStore::TokenStore(QString filePath) : path_(std::move(filePath)) {}

QString TokenStore::defaultPath() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QStringLiteral("/olvane/tokens.json");
}

TokenStore::Contents TokenStore::read() const {
    const PrivateFile::Contents file = PrivateFile::read(path_, kMaxFileBytes);
    if (file.state == PrivateFile::Contents::State::Missing) return {FileState::Missing, {}};
    if (file.state == PrivateFile::Contents::State::Refused) {
        logLine(QStringLiteral("Token file %1 not read: %2").arg(path_, file.why));
        return {FileState::Unreadable, {}};
    }
    const QJsonDocument doc = QJsonDocument::fromJson(file.bytes);
    const QJsonValue value = doc.object().value(QLatin1String(kTokensKey));
    if (!doc.isObject() || !value.isArray()) return {FileState::Corrupt, {}};
    QStringList tokens;
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isString()) return {FileState::Corrupt, {}};
        tokens.append(item.toString());
    }
    return {FileState::Valid, tokens};
}

const TokenStore::Contents& TokenStore::current() const {
    const Stamp now = Stamp::of(path_);
    if (now == stamp_) return contents_;
    Contents fresh = read();
    // A file that cannot be read revokes nothing: the tokens known stay valid.
    if (fresh.state == FileState::Unreadable) fresh.tokens = contents_.tokens;
    contents_ = std::move(fresh);
    stamp_ = now;
    refreshDigests();
    return contents_;
}

void TokenStore::refreshDigests() const {
    QSet<QByteArray> digests;
    for (const QString& token : withUnsaved(contents_.tokens)) digests.insert(digestOf(token));
    if (digests == digests_) return;
    digests_ = std::move(digests);
    ++revision_;
}

QString TokenStore::issue() {
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    std::lock_guard lock(mutex_);
    const Contents before = current();
    QStringList tokens = withUnsaved(before.tokens);
    tokens.append(token);
    if (save(tokens, before, "issued"))
        forgetCurrent();
    else
        unsaved_.append(token);
    current();
    refreshDigests();
    return token;
}

void TokenStore::revoke(const QString& token) {
    std::lock_guard lock(mutex_);
    // An unknown token (anyone may send one) costs a lookup and never touches the file.
    current();
    if (!digests_.contains(digestOf(token))) return;
    unsaved_.removeAll(token);
    const Contents before = current();
    if (before.state == FileState::Valid && before.tokens.contains(token)) {
        QStringList tokens = withUnsaved(before.tokens);
        tokens.removeAll(token);
        save(tokens, before, "revoked");
        forgetCurrent();
    } else {
        // Known from a file that can no longer be read: forgotten here.
        contents_.tokens.removeAll(token);
    }
    current();
    refreshDigests();
}

bool TokenStore::contains(const QString& token) const {
    std::lock_guard lock(mutex_);
    current();
    return digests_.contains(digestOf(token));
}

QStringList TokenStore::tokens() const {
    std::lock_guard lock(mutex_);
    return withUnsaved(current().tokens);
}

quint64 TokenStore::revision() const {
    std::lock_guard lock(mutex_);
    current();
    return revision_;
}

QStringList TokenStore::withUnsaved(QStringList tokens) const {
    for (const QString& t : unsaved_)
        if (!tokens.contains(t)) tokens.append(t);
    return tokens;
}

bool TokenStore::save(const QStringList& tokens, const Contents& before, const char* why) {
    if (before.state == FileState::Unreadable) {
        // Overwriting a file we cannot read would lose every token saved in it.
        logLine(QStringLiteral("Token %1 but not saved: %2 cannot be read")
                    .arg(QLatin1String(why), path_));
        return false;
    }
    if (before.state == FileState::Corrupt) setAsideCorruptFile();
    if (!writeAtomically(tokens)) {
        logLine(QStringLiteral("Token %1 but not saved: cannot write %2")
                    .arg(QLatin1String(why), path_));
        return false;
    }
    unsaved_.clear();
    return true;
}

bool TokenStore::writeAtomically(const QStringList& tokens) const {
    QJsonObject root;
    root.insert(QLatin1String(kTokensKey), QJsonArray::fromStringList(tokens));
    return PrivateFile::write(path_, QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n');
}

void TokenStore::setAsideCorruptFile() const {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path_ + QStringLiteral(".corrupt-") + stamp;
    for (int n = 1; QFile::exists(aside); ++n)
        aside = path_ + QStringLiteral(".corrupt-%1-%2").arg(stamp).arg(n);
    if (QFile::rename(path_, aside))
        logLine(QStringLiteral("Token file %1 could not be parsed; kept as %2").arg(path_, aside));
    else
        logLine(QStringLiteral("Token file %1 could not be parsed nor set aside").arg(path_));
}
