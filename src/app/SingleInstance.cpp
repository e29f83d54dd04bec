// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include "base/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {
const QByteArray kShowRequest = "show\n";
constexpr int kMaxRequestBytes = 64;
// How long a later copy keeps trying to reach a first copy that is still starting up.
constexpr int kReachTimeoutMs = 3000;
// How many names a copy tries for its folder in the shared temporary folder.
constexpr int kFolderNamesTried = 16;

// A folder where nobody else can put a lock or a socket: ours, a real folder (not a link),
// writable by us alone.
bool isPrivateFolder(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

// Whether the process listening on the other end runs as us.
bool peerIsUs(const QLocalSocket& socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    const int fd = int(socket.socketDescriptor());
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
    return peer.uid == ::geteuid();
}
}  // namespace

SingleInstance::SingleInstance(QString dir)
    : dir_(std::move(dir)), lock_(QDir(dir_).filePath(QStringLiteral("olvane-helper.lock"))) {
    // A live holder keeps its lock for as long as it runs; only a dead one makes it stale.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    server_.close();
}

QString SingleInstance::defaultDir() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime)) return runtime;
    // Without one, a folder of our own in the shared temporary folder. Another user may have
    // taken its name first: then the next name is tried, in the same order by every copy, so
    // that they still find each other.
    const QString own = QDir::tempPath() + QStringLiteral("/olvane-helper-%1").arg(::geteuid());
    for (int n = 1; n <= kFolderNamesTried; ++n) {
        const QString dir = n == 1 ? own : own + QStringLiteral("-%1").arg(n);
        if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST) break;
        if (isPrivateFolder(dir)) return dir;
        logWarning(QStringLiteral("%1 is not a private folder of ours; not used").arg(dir));
    }
    return {};
}

QString SingleInstance::socketPath() const {
    return QDir(dir_).filePath(QStringLiteral("olvane-helper.socket"));
}

bool SingleInstance::claim() {
    if (dir_.isEmpty()) {
        logWarning(
            QStringLiteral("No private folder for the single-instance lock; running anyway"));
        return true;
    }
    QDir().mkpath(dir_);
    if (lock_.tryLock(0)) return listen();
    if (lock_.error() != QLockFile::LockFailedError) {
        // Nowhere to keep the lock: running twice beats not running at all.
        logWarning(
            QStringLiteral("Single-instance lock unavailable in %1; running anyway").arg(dir_));
        return true;
    }
    if (askRunningCopyToShow()) return false;
    // The lock holder never answered: it is stuck, or the lock belongs to another program
    // that reuses a dead copy's process id. Take over rather than refuse to start.
    logWarning(QStringLiteral("The running copy does not answer; starting anyway"));
    if (lock_.removeStaleLockFile() && lock_.tryLock(0)) return listen();
    return true;
}

bool SingleInstance::listen() {
    // Holding the lock, any socket file left here is from a copy that is gone.
    QLocalServer::removeServer(socketPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath())) {
        logWarning(QStringLiteral("Single-instance socket %1 failed: %2")
                       .arg(socketPath(), server_.errorString()));
        return true;
    }
    QObject::connect(&server_, &QLocalServer::newConnection, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // A client that says nothing does not keep its socket for ever.
            QTimer::singleShot(kReachTimeoutMs, socket, [socket] { socket->abort(); });
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [this, socket] { readRequest(socket); });
            readRequest(socket);
        }
    });
    return true;
}

void SingleInstance::readRequest(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequestBytes) socket->abort();
        return;
    }
    const QByteArray request = socket->readLine(kMaxRequestBytes);
    socket->disconnectFromServer();
    if (request == kShowRequest) emit reopenRequested();
}

bool SingleInstance::askRunningCopyToShow() {
    // The first copy takes its lock a moment before it listens: keep trying for a while.
    const QDeadlineTimer deadline(kReachTimeoutMs);
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(std::max<qint64>(deadline.remainingTime(), 1)))) break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
    if (!peerIsUs(socket)) {
        logWarning(QStringLiteral("Single-instance socket %1 is served by another user; ignored")
                       .arg(socketPath()));
        return false;
    }
    socket.write(kShowRequest);
    const bool sent = socket.waitForBytesWritten(kReachTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}
