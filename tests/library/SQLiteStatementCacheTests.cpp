#include "StoreTestSupport.h"
#include "library/SQLiteStatementCache.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// Statements still prepared on the connection, cached or not.
int liveStatements(sqlite3* db)
{
    int count = 0;
    for (sqlite3_stmt* statement = sqlite3_next_stmt(db, nullptr); statement != nullptr;
         statement = sqlite3_next_stmt(db, statement))
        ++count;
    return count;
}

class SQLiteStatementCacheTest : public ::testing::Test {
protected:
    SQLiteStatementCacheTest()
        : store(libraryFile())
    {
        for (const char* name : {"alpha", "beta", "gamma"})
            store.execute(QStringLiteral("INSERT INTO tags (id, name) VALUES (?, ?)"),
                          {QString::fromLatin1(name).toUpper(), QString::fromLatin1(name)});
    }

    sqlite3* db() { return store.connection().handle(); }

    SQLiteStore store;
};

TEST_F(SQLiteStatementCacheTest, AStatementRunManyTimesIsPreparedOnceAndStartsClean)
{
    const int before = liveStatements(db());
    for (int i = 0; i < 50; ++i)
        store.execute(QStringLiteral("INSERT INTO tags (id, name) VALUES (?, ?)"),
                      {QStringLiteral("ID%1").arg(i), QStringLiteral("tag %1").arg(i)});
    EXPECT_EQ(liveStatements(db()), before);

    // Left half-read with a binding: the next user starts from the first row with nothing bound.
    const QString sql = QStringLiteral("SELECT ?1 IS NULL, name FROM tags WHERE name < 'c' ORDER BY name");
    {
        SQLiteStatement first = store.prepare(sql);
        first.bindTexts({QStringLiteral("bound")});
        ASSERT_TRUE(first.step());
        ASSERT_TRUE(first.step());
        EXPECT_EQ(first.int64(0), 0);
    }
    SQLiteStatement again = store.prepare(sql);
    ASSERT_TRUE(again.step());
    EXPECT_EQ(again.int64(0), 1);
    EXPECT_EQ(again.text(1), QStringLiteral("alpha"));
}

TEST_F(SQLiteStatementCacheTest, ASecondUserOfTheSameTextGetsAStatementOfItsOwn)
{
    const QString sql = QStringLiteral("SELECT name FROM tags WHERE name <> ? ORDER BY name");
    const int before = liveStatements(db());
    QStringList outerRows;
    {
        SQLiteStatement outer = store.prepare(sql);
        outer.bindTexts({QStringLiteral("beta")});
        ASSERT_TRUE(outer.step());
        outerRows.append(outer.text(0));
        {
            SQLiteStatement inner = store.prepare(sql);
            inner.bindTexts({QStringLiteral("alpha")});
            QStringList innerRows;
            while (inner.step())
                innerRows.append(inner.text(0));
            EXPECT_EQ(innerRows, (QStringList{QStringLiteral("beta"), QStringLiteral("gamma")}));
        }
        while (outer.step())
            outerRows.append(outer.text(0));
    }
    EXPECT_EQ(outerRows, (QStringList{QStringLiteral("alpha"), QStringLiteral("gamma")}));
    EXPECT_LE(liveStatements(db()), before + 1); // the extra one was the inner user's alone
}

TEST_F(SQLiteStatementCacheTest, AFailedStepLeavesTheCachedStatementUsable)
{
    const QString insert = QStringLiteral("INSERT INTO tags (id, name) VALUES (?, ?)");
    EXPECT_THROW(store.execute(insert, {QStringLiteral("ALPHA"), QStringLiteral("again")}), StoreError);
    store.execute(insert, {QStringLiteral("DELTA"), QStringLiteral("delta")});
    EXPECT_EQ(scalar(store, QStringLiteral("SELECT COUNT(*) FROM tags")), 4);
    EXPECT_FALSE(store.connection().inTransaction());
}

TEST(SQLiteStatementCache, EvictsIdleStatementsAndFinalizesBusyOnesWhenHandedBackAfterClose)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    {
        auto cache = std::make_shared<SQLiteStatementCache>(db, 2);
        for (const char* sql : {"SELECT 1", "SELECT 2", "SELECT 3"})
            cache->release(cache->acquire(QString::fromLatin1(sql)));
        EXPECT_EQ(liveStatements(db), 2);

        sqlite3_stmt* busy = cache->acquire(QStringLiteral("SELECT 3"));
        ASSERT_NE(busy, nullptr);
        EXPECT_EQ(cache->acquire(QStringLiteral("SELECT 3")), nullptr);
        cache->close();
        EXPECT_EQ(liveStatements(db), 1);
        EXPECT_EQ(cache->acquire(QStringLiteral("SELECT 1")), nullptr);
        cache->release(busy);
        EXPECT_EQ(liveStatements(db), 0);
    }
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
}

TEST(SQLiteStatementCache, AStatementOutlivingItsStoreIsStillReadable)
{
    std::optional<SQLiteStatement> statement;
    {
        SQLiteStore store(libraryFile());
        store.execute(QStringLiteral("INSERT INTO tags (id, name) VALUES ('A', 'kept')"));
        statement.emplace(store.prepare(QStringLiteral("SELECT name FROM tags")));
    }
    ASSERT_TRUE(statement->step());
    EXPECT_EQ(statement->text(0), QStringLiteral("kept"));
}

// Actions waiting for a commit: what a rolled back savepoint registered is dropped, what a released one
// registered waits for the outermost commit.
TEST_F(SQLiteStatementCacheTest, ActionsAfterCommitRunOnlyForWritesThatStay)
{
    SQLiteConnection& connection = store.connection();
    QStringList ran;
    const auto note = [&](const char* what) {
        connection.runAfterCommit([&ran, what] { ran.append(QString::fromLatin1(what)); });
    };

    note("outside");
    EXPECT_EQ(ran, QStringList{QStringLiteral("outside")});
    ran.clear();

    store.inTransaction([&] {
        note("outer");
        try {
            store.inTransaction([&] {
                note("rolled back");
                throw std::runtime_error("refused");
            });
        } catch (const std::runtime_error&) {
        }
        store.inTransaction([&] { note("released"); });
        // A later savepoint at the same depth rolling back must not take the released one with it.
        try {
            store.inTransaction([&] { throw std::runtime_error("refused"); });
        } catch (const std::runtime_error&) {
        }
        EXPECT_TRUE(ran.isEmpty());
    });
    EXPECT_EQ(ran, (QStringList{QStringLiteral("outer"), QStringLiteral("released")}));

    ran.clear();
    try {
        store.inTransaction([&] {
            note("never");
            throw std::runtime_error("refused");
        });
    } catch (const std::runtime_error&) {
    }
    store.inTransaction([] {});
    EXPECT_TRUE(ran.isEmpty());
}

QStringList* capturedMessages = nullptr;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (capturedMessages != nullptr)
        capturedMessages->append(message);
}

TEST_F(SQLiteStatementCacheTest, AnEraseRolledBackByItsCallerIsNotReported)
{
    QLoggingCategory::setFilterRules(QStringLiteral("morvane.SQLiteStore.info=true"));
    QStringList messages;
    capturedMessages = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    try {
        store.inTransaction([&] {
            store.eraseAll();
            throw std::runtime_error("import failed");
        });
    } catch (const std::runtime_error&) {
    }
    const QStringList afterRollback = messages;
    store.eraseAll();
    qInstallMessageHandler(previous);
    capturedMessages = nullptr;

    EXPECT_TRUE(afterRollback.filter(QStringLiteral("Erased all")).isEmpty());
    EXPECT_EQ(messages.filter(QStringLiteral("Erased all local Morvane database rows")).size(), 1);
}

} // namespace
