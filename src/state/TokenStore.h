// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

#include <mutex>

// The list of issued tokens, persisted as a JSON file {"olvane.tokens": [...]} that only the
// user can read. The list is kept in memory and read again whenever the file's identity
// (inode, size, times) has changed since, which one stat per check tells: editing or deleting
// the file takes effect at once without reading it for every check. Read-modify-write
// sequences are serialised so no issued token is lost.
class TokenStore {
public:
    // A larger file is not read (a user's tokens take a few kilobytes).
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    explicit TokenStore(QString filePath);
    static QString defaultPath();

    QString issue();
    // The file is written only when it held the token.
    void revoke(const QString& token);
    bool contains(const QString& token) const;
    QStringList tokens() const;
    // Changes whenever the set of valid tokens changes, here or on disk.
    quint64 revision() const;
    const QString& path() const { return path_; }

private:
    enum class FileState { Missing, Valid, Corrupt, Unreadable };
    struct Contents {
        FileState state;
        QStringList tokens;
    };
    // What stat says of the file; a failed stat matches nothing, not even itself.
    struct Stamp {
        bool known = false;
        struct stat st {};
        bool operator==(const Stamp& other) const;
        static Stamp of(const QString& path);
    };

    Contents read() const;
    // The file's contents, read again only when its stamp changed. Under the lock.
    const Contents& current() const;
    void forgetCurrent() const { stamp_ = {}; }
    void refreshDigests() const;
    QStringList withUnsaved(QStringList tokens) const;
    bool save(const QStringList& tokens, const Contents& before, const char* why);
    bool writeAtomically(const QStringList& tokens) const;
    void setAsideCorruptFile() const;

    QString path_;
    mutable std::mutex mutex_;
    // Tokens issued during this run whose saving failed: still valid until the process ends,
    // and written out with the next save that succeeds.
    QStringList unsaved_;
    mutable Stamp stamp_;
    mutable Contents contents_{FileState::Missing, {}};
    // Hashes of the valid tokens: a check costs one hash and one lookup whatever the number
    // of tokens, and its timing tells nothing about the tokens themselves.
    mutable QSet<QByteArray> digests_;
    mutable quint64 revision_ = 0;
};
