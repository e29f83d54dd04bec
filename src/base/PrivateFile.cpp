// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

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
