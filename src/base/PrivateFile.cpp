#include "base/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

bool PrivateFile::write(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    if (!info.dir().exists()) {
        if (!QDir().mkpath(info.absolutePath())) return false;
        ::chmod(QFile::encodeName(info.absolutePath()).constData(), 0700);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    ::fchmod(file.handle(), 0600);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
