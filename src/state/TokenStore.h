#pragma once

#include <QString>
#include <QStringList>

#include <mutex>

// The list of issued tokens, persisted as a JSON file {"olvane.tokens": [...]} that only the
// user can read. Every operation reads the file afresh, so editing or deleting it takes
// effect at once. Read-modify-write sequences are serialised so no issued token is lost.
class TokenStore {
public:
    explicit TokenStore(QString filePath);
    static QString defaultPath();

    QString issue();
    void revoke(const QString& token);
    bool contains(const QString& token) const;
    QStringList tokens() const;
    const QString& path() const { return path_; }

private:
    enum class FileState { Missing, Valid, Corrupt, Unreadable };
    struct Contents {
        FileState state;
        QStringList tokens;
    };

    Contents read() const;
    QStringList withUnsaved(QStringList tokens) const;
    bool save(const QStringList& tokens, const Contents& before, const char* why);
    bool writeAtomically(const QStringList& tokens) const;
    void setAsideCorruptFile() const;

    QString path_;
    mutable std::mutex mutex_;
    // Tokens issued during this run whose saving failed: still valid until the process ends,
    // and written out with the next save that succeeds.
    QStringList unsaved_;
};
