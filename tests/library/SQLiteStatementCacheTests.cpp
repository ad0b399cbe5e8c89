#include "LogCapture.h"
#include "StoreTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// Statements still prepared on the connection, cached or not.
int liveStatements(sqlite3* db)
{
    int count = 0;
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s != nullptr; s = sqlite3_next_stmt(db, s))
        ++count;
    return count;
}

struct SQLiteStatementCacheTest : ::testing::Test {
    SQLiteStatementCacheTest()
    {
        store.execute("INSERT INTO tags VALUES ('A','alpha'), ('B','beta'), ('G','gamma')");
    }

    const QString insert = "INSERT INTO tags (id, name) VALUES (?, ?)";
    SQLiteStore store{libraryFile()};
};

TEST_F(SQLiteStatementCacheTest, AStatementIsPreparedOnceAndHandedBackCleanEvenAfterAFailedStep)
{
    EXPECT_THROW(store.execute(insert, {"A", "again"}), StoreError);
    const int before = liveStatements(store.connection().handle());
    for (int i = 0; i < 50; ++i)
        store.execute(insert, {QStringLiteral("ID%1").arg(i), QStringLiteral("tag %1").arg(i)});
    EXPECT_EQ(liveStatements(store.connection().handle()), before);

    // Left half-read with a binding: the next user starts from the first row with nothing bound.
    const QString sql = "SELECT ?1 IS NULL, name FROM tags WHERE name < 'c' ORDER BY name";
    {
        SQLiteStatement first = store.prepare(sql);
        first.bindTexts({"bound"});
        ASSERT_TRUE(first.step() && first.step());
    }
    SQLiteStatement again = store.prepare(sql);
    ASSERT_TRUE(again.step());
    EXPECT_EQ(again.int64(0), 1);
    EXPECT_EQ(again.text(1), "alpha");
}

TEST_F(SQLiteStatementCacheTest, ASecondUserGetsAStatementOfItsOwnAndAStatementMayOutliveItsConnection)
{
    const QString sql = "SELECT name FROM tags WHERE name <> ? ORDER BY name";
    SQLiteStatement outer = store.prepare(sql);
    outer.bindTexts({"beta"});
    ASSERT_TRUE(outer.step());
    {
        SQLiteStatement inner = store.prepare(sql);
        inner.bindTexts({"alpha"});
        ASSERT_TRUE(inner.step() && inner.step());
        EXPECT_EQ(inner.text(0), "gamma");
    }
    ASSERT_TRUE(outer.step());
    EXPECT_EQ(outer.text(0), "gamma");

    SQLiteStatement kept = [] {
        SQLiteConnection other = SQLiteConnection::open(testHome() + "/other.sqlite");
        return other.statement("SELECT 'kept'");
    }();
    ASSERT_TRUE(kept.step());
    EXPECT_EQ(kept.text(0), "kept");
}

// A rolled back savepoint takes its writes and the actions it registered to run after the commit; a
// released one leaves them to the outermost transaction: the erase in particular is logged only when it
// stays.
TEST_F(SQLiteStatementCacheTest, WritesAndActionsAfterCommitStayOnlyWithTheirTransaction)
{
    QStringList ran;
    const auto note = [&](const char* what) {
        store.execute(insert, {QString::fromLatin1(what), QString::fromLatin1(what)});
        store.connection().runAfterCommit([&ran, what] { ran.append(QString::fromLatin1(what)); });
    };
    const auto refused = [&](const std::function<void()>& body) {
        EXPECT_THROW(store.inTransaction([&] { body(), throw std::runtime_error("refused"); }),
                     std::runtime_error);
    };
    const LogCapture log("morvane.SQLiteStore");
    note("outside");
    store.inTransaction([&] {
        note("outer");
        refused([&] { note("rolled back"); });
        store.inTransaction([&] { note("released"); });
        refused([] {}); // a later savepoint at the same depth must not take the released one with it
        EXPECT_EQ(ran, QStringList{"outside"});
    });
    refused([&] {
        store.inTransaction([&] { note("never"); });
        store.eraseAll();
    });
    store.inTransaction([] {});
    EXPECT_EQ(ran, (QStringList{"outside", "outer", "released"}));
    EXPECT_EQ(texts(store, "SELECT name FROM tags WHERE id = name ORDER BY rowid"), ran);
    EXPECT_TRUE(log.lines().isEmpty());
    store.eraseAll();
    EXPECT_EQ(log.lines(), QStringList{"Erased all local Morvane database rows"});
}

} // namespace
