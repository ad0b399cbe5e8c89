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
        db.execute("INSERT INTO tags VALUES ('A','alpha'), ('B','beta'), ('G','gamma')");
    }

    const QString insert = "INSERT INTO tags (id, name) VALUES (?, ?)";
    SQLiteStore store{libraryFile()};
    SQLiteConnection db = rawLibrary(store); // the connection under test, beside the store's own
};

TEST_F(SQLiteStatementCacheTest, AStatementIsPreparedOnceAndHandedBackCleanEvenAfterAFailedStep)
{
    EXPECT_THROW(db.execute(insert, {QStringLiteral("A"), QStringLiteral("again")}), StoreError);
    const int before = liveStatements(db.handle());
    for (int i = 0; i < 50; ++i)
        db.execute(insert, {QStringLiteral("ID%1").arg(i), QStringLiteral("tag %1").arg(i)});
    EXPECT_EQ(liveStatements(db.handle()), before);

    // Left half-read with a binding: the next user starts from the first row with nothing bound.
    const QString sql = "SELECT ?1 IS NULL, name FROM tags WHERE name < 'c' ORDER BY name";
    {
        SQLiteStatement first = db.statement(sql);
        first.bind({QStringLiteral("bound")});
        ASSERT_TRUE(first.step() && first.step());
    }
    SQLiteStatement again = db.statement(sql);
    ASSERT_TRUE(again.step());
    EXPECT_EQ(again.int64(0), 1);
    EXPECT_EQ(again.text(1), "alpha");
}

TEST_F(SQLiteStatementCacheTest, ASecondUserGetsAStatementOfItsOwnAndAStatementMayOutliveItsConnection)
{
    const QString sql = "SELECT name FROM tags WHERE name <> ? ORDER BY name";
    SQLiteStatement outer = db.statement(sql);
    outer.bind({QStringLiteral("beta")});
    ASSERT_TRUE(outer.step());
    {
        SQLiteStatement inner = db.statement(sql);
        inner.bind({QStringLiteral("alpha")});
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
        db.execute(insert, {QString::fromLatin1(what), QString::fromLatin1(what)});
        db.runAfterCommit([&ran, what] { ran.append(QString::fromLatin1(what)); });
    };
    const auto refused = [&](const std::function<void()>& body) {
        EXPECT_THROW(inTransaction(db, [&] { body(), throw std::runtime_error("refused"); }),
                     std::runtime_error);
    };
    note("outside");
    inTransaction(db, [&] {
        note("outer");
        refused([&] { note("rolled back"); });
        inTransaction(db, [&] { note("released"); });
        refused([] {}); // a later savepoint at the same depth must not take the released one with it
        EXPECT_EQ(ran, QStringList{"outside"});
    });
    refused([&] { inTransaction(db, [&] { note("never"); }); });
    inTransaction(db, [] {});
    EXPECT_EQ(ran, (QStringList{"outside", "outer", "released"}));
    EXPECT_EQ(texts(store, "SELECT name FROM tags WHERE id = name ORDER BY rowid"), ran);

    const LogCapture log("morvane.SQLiteStore");
    EXPECT_THROW(store.transactions().inTransaction(
                     [&] { store.merge().eraseAll(), throw std::runtime_error("refused"); }),
                 std::runtime_error);
    EXPECT_TRUE(log.lines().isEmpty());
    store.merge().eraseAll();
    EXPECT_EQ(log.lines(), QStringList{"Erased all local Morvane database rows"});
}

} // namespace
