// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool PrivateFile::write(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    if (!info.dir().exists()) {
        if (!QDir().mkpath(info.absolutePath())) return false;
        ::chmod(QFile::encodeName(info.absolutePath()).constData(), 0700);
    }
    QSaveFile file(path);
    // Unbuffered: a write that fails in the buffer's final flush (a full disk) goes unnoticed
    // by QSaveFile, which then puts the empty file in place of the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    ::fchmod(file.handle(), 0600);
    // Space that runs out on the way to the disk shows in fsync; QSaveFile ignores that too.
    if (file.write(bytes) != bytes.size() || ::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

PrivateFile::Contents PrivateFile::read(const QString& path, qint64 maxBytes) {
    using State = Contents::State;
    // Opening a pipe for reading would wait for a writer; a link may lead anywhere.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return {};
        return {State::Refused, {}, QString::fromLocal8Bit(std::strerror(errno))};
    }
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return {State::Refused, {}, QStringLiteral("not a regular file")};
    if (st.st_size > maxBytes)
        return {
            State::Refused, {}, QStringLiteral("%1 bytes, over %2").arg(st.st_size).arg(maxBytes)};
    // It may have grown since: no more than the limit is read.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) return {State::Refused, {}, file.errorString()};
    if (bytes.size() > maxBytes)
        return {State::Refused, {}, QStringLiteral("over %1 bytes").arg(maxBytes)};
    return {State::Read, std::move(bytes), {}};
}
