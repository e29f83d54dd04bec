#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>

// One running copy per user. The first copy holds a lock file and listens on a local socket
// beside it; a later copy finds the lock taken and asks the first, over the socket, to show
// itself. A copy that crashed leaves a lock the next one sees as stale and takes over.
class SingleInstance {
public:
    // Both files live in dir (a folder only the user can write to; see defaultDir). An empty
    // dir means there is none: the copy then runs without the check.
    explicit SingleInstance(QString dir = defaultDir());
    ~SingleInstance();

    // True when this process is now the only copy; onReopen then runs on the main thread each
    // time a later copy starts. False when another copy runs and was asked to show itself.
    bool claim(std::function<void()> onReopen);

    QString socketPath() const;
    // The user's runtime folder when it is private, else <tmp>/olvane-helper-<uid>, created
    // and checked; empty when neither can be trusted.
    static QString defaultDir();

private:
    bool listen();
    bool askRunningCopyToShow();
    void readRequest(class QLocalSocket* socket);

    QString dir_;
    QLockFile lock_;
    QLocalServer server_;
    std::function<void()> onReopen_;
};
