#include "state/TokenStore.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>
#include <vector>

namespace {
QByteArray contents(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}
}  // namespace

TEST(TokenStore, issuedTokensAreUppercaseUuidsKeptInOrderInAPrivateFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("olvane/tokens.json");
    TokenStore store(path);
    const QString a = store.issue(), b = store.issue();
    EXPECT_NE(a, b);
    EXPECT_TRUE(
        QRegularExpression("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$").match(a).hasMatch());
    EXPECT_TRUE(store.contains(a) && store.contains(b));
    EXPECT_FALSE(store.contains(a.toLower()));
    EXPECT_EQ(contents(path),
              "{\"olvane.tokens\":[\"" + a.toUtf8() + "\",\"" + b.toUtf8() + "\"]}\n");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(dir.filePath("olvane")), 0700u);
    // Another process (or a restart) sees them.
    EXPECT_EQ(TokenStore(path).tokens(), (QStringList{a, b}));
}

TEST(TokenStore, revokeRemovesEveryCopyAndWritesOnlyWhenTheListChanges) {
    QTemporaryDir dir;
    const QString path = dir.filePath("tokens.json");
    TokenStore store(path);
    store.revoke("NOPE");
    EXPECT_FALSE(QFile::exists(path));
    writeFile(path, R"({"olvane.tokens":["A","B","A"]})");
    store.revoke("A");
    EXPECT_EQ(store.tokens(), QStringList{"B"});
    store.revoke("C");
    EXPECT_EQ(store.tokens(), QStringList{"B"});
}

TEST(TokenStore, concurrentIssuesFromManyThreadsLoseNoToken) {
    QTemporaryDir dir;
    const QString path = dir.filePath("tokens.json");
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
}
