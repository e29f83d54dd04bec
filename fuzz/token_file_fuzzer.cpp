// SPDX-License-Identifier: GPL-3.0-or-later
// The token file reader on whatever the file holds. Issuing and revoking tokens must lose none
// that it read, and a file it cannot parse must be kept aside intact.
#include "FuzzCheck.h"
#include "state/TokenStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QTemporaryDir scratch;
    const QDir dir(scratch.path());
    const QByteArray original(reinterpret_cast<const char*>(data), qsizetype(size));
    QFile file(dir.filePath(QStringLiteral("tokens.json")));
    require(file.open(QIODevice::WriteOnly) && file.write(original) == original.size(),
            "the input is written");
    file.close();

    TokenStore store(file.fileName());
    const QStringList before = store.tokens();
    const QString issued = store.issue();
    const QStringList after = store.tokens();
    for (const QString& token : before) require(after.contains(token), "no token read is lost");
    require(after.contains(issued) && store.contains(issued), "the issued token is known");

    const QStringList aside = dir.entryList({QStringLiteral("tokens.json.corrupt-*")}, QDir::Files);
    require(aside.size() <= 1, "at most one file is kept aside");
    QFile kept(dir.filePath(aside.value(0)));
    require(aside.isEmpty() || (kept.open(QIODevice::ReadOnly) && kept.readAll() == original),
            "an unparsable file is kept aside as it was");

    if (before.isEmpty()) return 0;
    store.revoke(before.first());
    const QStringList left = store.tokens();
    require(!left.contains(before.first()), "a revoked token is no longer valid");
    for (const QString& token : after)
        require(token == before.first() || left.contains(token), "revoking loses no other token");
    return 0;
}
