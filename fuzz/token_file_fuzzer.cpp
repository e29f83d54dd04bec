// The token file reader on whatever the file holds. Whatever it finds, issuing and revoking
// tokens must lose none that it read, and a file it cannot parse must be kept aside intact.
#include "state/TokenStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {
[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "token store: %s\n", what);
    std::abort();
}

QTemporaryDir& folder() {
    // In memory where the system offers it: each input writes several files.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/olvane-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/olvane-fuzz-XXXXXX"));
    return dir;
}

QByteArray keptAside(const QDir& dir) {
    const QStringList aside = dir.entryList({QStringLiteral("tokens.json.corrupt-*")}, QDir::Files);
    if (aside.size() > 1) fail("more than one file kept aside");
    if (aside.isEmpty()) return {};
    QFile file(dir.filePath(aside.first()));
    if (!file.open(QIODevice::ReadOnly)) fail("cannot read the file kept aside");
    return file.readAll();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QDir dir(folder().path());
    for (const QString& name : dir.entryList(QDir::Files)) dir.remove(name);
    const QString path = dir.filePath(QStringLiteral("tokens.json"));
    const QByteArray original(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(original) != original.size())
            fail("cannot write the input");
    }

    TokenStore store(path);
    const QStringList before = store.tokens();
    const QString issued = store.issue();
    const QStringList after = store.tokens();
    for (const QString& token : before)
        if (!after.contains(token)) fail("a token read before was lost");
    if (!after.contains(issued) || !store.contains(issued)) fail("the issued token is unknown");

    const QByteArray aside = keptAside(dir);
    if (!aside.isEmpty() && aside != original) fail("the unparsable file was not kept as it was");

    if (!before.isEmpty()) {
        const QString revoked = before.first();
        store.revoke(revoked);
        const QStringList left = store.tokens();
        if (left.contains(revoked)) fail("a revoked token is still valid");
        for (const QString& token : after)
            if (token != revoked && !left.contains(token)) fail("revoking one token lost another");
    }
    return 0;
}
