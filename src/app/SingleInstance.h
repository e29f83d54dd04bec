// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// One running copy per user. The first copy holds a lock file and listens on a local socket
// beside it; a later copy finds the lock taken and asks the first, over the socket, to show
// itself. A copy that crashed leaves a lock the next one sees as stale and takes over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Both files live in dir (a folder only the user can write to; see defaultDir). An empty
    // dir means there is none: the copy then runs without the check.
    explicit SingleInstance(QString dir = defaultDir());
    ~SingleInstance() override;

    // True when this process is now the only copy, which then hears of every later start
    // through reopenRequested(). False when another copy runs and was asked to show itself.
    bool claim();

    QString socketPath() const;
    // The user's runtime folder when it is private, else <tmp>/olvane-helper-<uid>, created
    // and checked; empty when neither can be trusted.
    static QString defaultDir();

signals:
    // A later copy started and asks this one to show itself.
    void reopenRequested();

private:
    bool listen();
    bool askRunningCopyToShow();
    void readRequest(class QLocalSocket* socket);

    QString dir_;
    QLockFile lock_;
    QLocalServer server_;
};
