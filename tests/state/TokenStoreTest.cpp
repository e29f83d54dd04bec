// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/TokenStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>
#include <vector>

namespace {
mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}
}  // namespace

TEST(TokenStore, tokensIssuedFromManyThreadsAtOnceAreAllKeptInAPrivateFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("olvane/tokens.json");
    TokenStore store(path);
    std::vector<QStringList> issued(6);
    std::vector<std::thread> threads;
    for (auto& list : issued)
        threads.emplace_back([&store, &list] {
            for (int i = 0; i < 40; ++i) list.append(store.issue());
        });
    for (auto& t : threads) t.join();
    const QStringList saved = TokenStore(path).tokens();
    EXPECT_EQ(saved.size(), 240);
    for (const auto& list : issued)
        for (const QString& t : list) EXPECT_TRUE(saved.contains(t));
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(dir.filePath("olvane")), 0700u);
}
