// The indexed search against the plain search statement, row for row, on a library large enough for
// both of the index's roads (candidates sorted directly, titles walked in order), through every kind of
// write (another program's to the tags alone too), on a library opened before it had the index, and on
// one another program rewrote.
#include "StoreTestSupport.h"
#include "foundation/Checksum64.h"
#include "library/LinkSearchTextsCopy.h"

#include <QDir>

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <limits>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString plainSearchSql =
    "FROM links WHERE title LIKE ? OR url LIKE ? OR type LIKE ? OR notes LIKE ? OR EXISTS "
    "(SELECT 1 FROM tags INNER JOIN link_tags ON link_tags.tag_id = tags.id "
    "WHERE link_tags.link_id = links.id AND tags.name LIKE ?) "
    "ORDER BY CASE WHEN title LIKE ? THEN 0 ELSE 1 END, title COLLATE NOCASE ASC LIMIT 200";

// Short, common, rare, wildcards inside, case beyond ASCII, a type and a tag, quotes and backslashes,
// a text in the url of every seventh link only, and a very long one.
const QStringList queries = {"e", "zz", "alpha", "ALPHA", "report", "ünï", "ÜNÏCODE", "Ünï", "a_b", "al%ha",
                             "rep%t_in", "50% off", "mail", "obsidian", "zeta", "élan", "t_x", "site3",
                             "site", "site3.e", "\"q'u\\o\"", "notes", "beta report%a", QString(1000, u'x'),
                             "web",
                             // One and two characters: rare and common, in titles alone, in other texts
                             // alone, in both, in a tag alone, with wildcards, and case beyond ASCII.
                             "Q", "xq", "jq", "zq", "x", "b", "9", "Ä", "ü", "%q", "q_", "%", "~"};

// A few links whose rare letters a one- or two-character text finds among thousands.
void addRareLinks(SQLiteStore& store)
{
    for (const char* title : {"Qx marks the spot", "the QX file", "qX"})
        addLink(store, makeLink(title));
    LinkItem inNotes = makeLink("plain");
    inNotes.notes = "a jq filter";
    addLink(store, inNotes);
    addLink(store, makeLink("plain too", "https://zq.example/"));
    LinkItem tagged = makeLink("tagged");
    tagged.tags = {"q"};
    addLink(store, tagged);
}

void expectPlainResults(SQLiteStore& store, const char* when, bool indexed = true)
{
    SQLiteConnection raw = rawLibrary(store);
    // The index holds exactly what the links table holds.
    if (indexed) {
        EXPECT_NO_THROW(
            raw.execute("INSERT INTO link_search(link_search, rank) VALUES ('integrity-check', 1)"))
            << when;
    }
    for (const QString& query : queries) {
        SCOPED_TRACE(QStringLiteral("%1, query \"%2\"").arg(when, query.left(20)).toStdString());
        const QList<LinkItem> expected =
            queryLinks(raw, linkColumnsSql() + plainSearchSql, QList<SQLiteValue>(6, '%' + query + '%'));
        const QList<LinkItem> actual = store.reads().searchLinks(query);
        EXPECT_EQ(titles(actual), titles(expected));
        EXPECT_TRUE(actual == expected);
    }
}

TEST(SearchIndex, ListsWhatThePlainStatementListsThroughEveryWrite)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 7, 10000);
    addRareLinks(store);
    expectPlainResults(store, "generated");

    // Links whose ids are stored in the written form, which the writes name them by.
    QList<LinkItem> links;
    for (const LinkItem& link : store.reads().searchLinks("alpha"))
        if (scalar(store, "SELECT count(*) FROM links WHERE id = '" + uuidString(link.id) + "'") == 1)
            links.append(link);
    ASSERT_GE(links.size(), 40);
    for (qsizetype i = 0; i < 10; ++i) {
        LinkItem added = makeLink(i % 2 ? "Orchid ALPHA" : "orchid alpha");
        added.tags = {"Fresh", "zeta"};
        addLink(store, added);
        store.writes().setTags({"orchid", "report"}, links[i].id);
        store.writes().deleteLink(links[i + 10].id);
        LinkItem edited = links[i + 20];
        edited.title = "Ünïcode edited";
        edited.notes = "site3 alpha";
        edited.updatedAt = at("2030-01-01T00:00:00.000Z");
        store.merge().applyRemoteLink(edited);
        store.writes().updateFileIdentity(links[i + 30].id,
                                          FileIdentity{{}, {}, {}, "/tmp/Orchid report", {}, {}});
    }
    expectPlainResults(store, "after adds, edits, tag changes and deletes");

    QList<LinkItem> backup = store.reads().allLinks().mid(0, 3000);
    for (LinkItem& link : backup.mid(0, 500))
        link.title = link.title.toUpper() + " imported";
    store.merge().importRecords(backup.mid(0, 500), {});
    expectPlainResults(store, "after a merge import");
    store.transactions().inTransaction([&] {
        store.merge().eraseAll();
        store.merge().importRecords(backup, {});
    });
    expectPlainResults(store, "after a replacing import");
    store.merge().eraseAll();
    expectPlainResults(store, "after an erase");
}

// Short texts are answered from what the store keeps of the links' texts: another program's writes
// reach it through the journal, and without the journal the store reads the library instead.
TEST(SearchIndex, ShortTextsFollowOtherProgramsWritesAndDoWithoutTheJournal)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 5, 4000);
    addRareLinks(store);
    expectPlainResults(store, "generated");
    SQLiteConnection other = rawLibrary(store);
    other.execute(
        "UPDATE links SET title = 'Qx from elsewhere' WHERE rowid = (SELECT min(rowid) FROM links)");
    other.execute("DELETE FROM links WHERE title = 'the QX file'");
    other.execute("UPDATE links SET notes = 'no longer' WHERE notes = 'a jq filter'");
    expectPlainResults(store, "after another program's writes");

    other.execute("DROP TRIGGER library_changes_link_update");
    other.execute("UPDATE links SET title = 'qx unseen by the journal' WHERE title = 'plain too'");
    expectPlainResults(store, "without the journal");
}

// The texts for short searches are read ahead in steps, and given back when no search is coming: what
// this store and other programs write between the steps, or after a release, is found as the
// statement finds it.
TEST(SearchIndex, ShortTextsReadInStepsMissNoWriteBetweenThem)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 17, 17000);
    addRareLinks(store);
    SQLiteConnection other = rawLibrary(store);
    int steps = 0;
    for (bool done = false; !done; ++steps) {
        // A row the steps have read, one they have yet to read, one gone and one new.
        other.execute(QStringLiteral("UPDATE links SET title = 'Qx read %1' WHERE rowid = (SELECT min(rowid) "
                                     "FROM links WHERE title NOT LIKE 'Qx read%')")
                          .arg(steps));
        other.execute(
            QStringLiteral("UPDATE links SET notes = 'jq later %1' WHERE rowid = (SELECT max(rowid) "
                           "FROM links WHERE notes NOT LIKE 'jq later%')")
                .arg(steps));
        other.execute("DELETE FROM links WHERE rowid = (SELECT min(rowid) FROM links WHERE title NOT LIKE "
                      "'Qx read%')");
        addLink(store, makeLink(QStringLiteral("plain %1").arg(steps), "https://zq.example/step"));
        done = store.reads().prepareShortSearchStep();
    }
    EXPECT_GT(steps, 2);
    expectPlainResults(store, "read in steps while the library changed");

    store.reads().releaseSearchMemory();
    other.execute("UPDATE links SET title = 'xq after the release' WHERE title LIKE 'Qx read%'");
    expectPlainResults(store, "read again after a release");
}

// Reads the texts for short searches in steps, as showing the panel does; gives how many it took.
int readShortTexts(SQLiteStore& store)
{
    int steps = 1;
    while (!store.reads().prepareShortSearchStep())
        ++steps;
    return steps;
}

QByteArray textsCopyBytes()
{
    QFile copy(libraryFile() + ".texts");
    return copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray();
}

void putTextsCopy(const QByteArray& bytes)
{
    QFile copy(libraryFile() + ".texts");
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
    copy.write(bytes);
}

// A key typed while the texts are read in steps is searched over every link, not over the part read so
// far: the rare links come last, after the first step's rows; and so after a release, when the texts
// come from their copy beside the library, with what other programs wrote since it was made.
TEST(SearchIndex, ASearchTypedWhileTheShortTextsAreReadFindsWhatTheStatementFinds)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 23, 17000);
    addRareLinks(store);
    store.reads().releaseSearchMemory();
    ASSERT_FALSE(store.reads().prepareShortSearchStep());
    expectPlainResults(store, "typed after the first step of a read from the library");
    store.reads().releaseSearchMemory();
    EXPECT_TRUE(QFileInfo(libraryFile() + ".texts").exists());
    EXPECT_EQ(QFile::permissions(libraryFile() + ".texts") &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              0); // it holds the links' texts

    SQLiteConnection other = rawLibrary(store);
    other.execute(
        "UPDATE links SET title = 'Qx since the copy' WHERE rowid = (SELECT min(rowid) FROM links)");
    other.execute("DELETE FROM links WHERE title = 'the QX file'");
    addLink(store, makeLink("plain since", "https://jq.example/since"));
    expectPlainResults(store, "typed as the texts came from the copy");
    store.reads().releaseSearchMemory();
    EXPECT_EQ(readShortTexts(store), 1); // the copy, written again after the changes
    expectPlainResults(store, "from the copy written again");

    // More changes than following them one by one is worth: the library is read again, past the copy.
    store.reads().releaseSearchMemory();
    other.execute("UPDATE links SET notes = notes || ' zq' WHERE rowid % 3 = 0");
    expectPlainResults(store, "after most links changed since the copy");
}

// Erasing all data leaves no copy of the erased links' texts beside the library, and a short search
// afterwards finds nothing of them.
TEST(SearchIndex, EraseAllTakesTheShortTextsCopyWithIt)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 11, 3000);
    addRareLinks(store);
    readShortTexts(store);
    store.reads().releaseSearchMemory();
    ASSERT_FALSE(textsCopyBytes().isEmpty());

    store.merge().eraseAll();
    EXPECT_FALSE(QFileInfo::exists(libraryFile() + ".texts"));
    expectPlainResults(store, "after the erase");
}

// A library whose texts were never read gets its copy in steps ahead of the first show, and keeps
// it while it is usable; a read for a search under way is left to the search, whole.
TEST(SearchIndex, TheShortTextsCopyIsMadeAheadOnlyWhenMissingAndNeverUnderASearch)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 37, 17000);
    addRareLinks(store);
    const auto makeCopy = [&store] {
        int steps = 1;
        while (!store.reads().prepareShortTextsCopyStep())
            ++steps;
        return steps;
    };
    EXPECT_GT(makeCopy(), 2);
    const QByteArray made = textsCopyBytes();
    ASSERT_FALSE(made.isEmpty());
    EXPECT_EQ(makeCopy(), 1);
    EXPECT_EQ(textsCopyBytes(), made); // a usable copy is not made again
    EXPECT_EQ(readShortTexts(store), 1);
    store.reads().releaseSearchMemory();

    QFile::remove(libraryFile() + ".texts");
    ASSERT_FALSE(store.reads().prepareShortSearchStep());
    EXPECT_EQ(makeCopy(), 1);
    EXPECT_FALSE(QFileInfo::exists(libraryFile() + ".texts"));
    rawLibrary(store).execute(
        "UPDATE links SET title = 'zq under a search' WHERE rowid = (SELECT max(rowid) FROM links)");
    expectPlainResults(store, "with the read left to the search");
}

// The copy is taken only while the library bears its marks: it is read from the library again, and
// searched row for row, when the copy is another library's, damaged, ahead of the journal (an older
// file of the same library put back), from before a rebuild that renumbered the rows, or when the
// journal it follows is gone.
TEST(SearchIndex, AShortTextsCopyTheLibraryNoLongerVouchesForIsPassedOver)
{
    const int fromLibrary = 3; // steps of a read from the library of about 17,000 links
    QByteArray foreign;
    {
        SQLiteStore store(libraryFile());
        fillVariedLibrary(store, 29, 17000);
        readShortTexts(store);
        store.reads().releaseSearchMemory();
        foreign = textsCopyBytes();
        ASSERT_FALSE(foreign.isEmpty());
    }
    QFile::remove(libraryFile());
    QFile::remove(libraryFile() + ".texts");

    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 31, 17000);
    addRareLinks(store);
    putTextsCopy(foreign);
    EXPECT_EQ(readShortTexts(store), fromLibrary) << "another library's copy";
    expectPlainResults(store, "with another library's copy beside it");
    store.reads().releaseSearchMemory();
    const QByteArray own = textsCopyBytes();
    ASSERT_NE(own, foreign);
    EXPECT_EQ(readShortTexts(store), 1);
    store.reads().releaseSearchMemory();

    for (const qsizetype cut : {qsizetype(20), own.size() - 1}) {
        putTextsCopy(own.left(cut));
        EXPECT_EQ(readShortTexts(store), fromLibrary) << "cut at " << cut;
        expectPlainResults(store, "with a cut copy");
        store.reads().releaseSearchMemory();
    }
    QByteArray scrambled = own;
    for (qsizetype i = 64; i < scrambled.size(); i += 97)
        scrambled[i] = char(0xff);
    putTextsCopy(scrambled);
    readShortTexts(store);
    expectPlainResults(store, "with a scrambled copy");
    store.reads().releaseSearchMemory();

    // Ahead of the journal: the copy made at the last release, after writes the library put back no
    // longer holds.
    {
        SQLiteConnection other = rawLibrary(store);
        other.execute("DELETE FROM library_changes WHERE seq = (SELECT max(seq) FROM library_changes)");
    }
    EXPECT_EQ(readShortTexts(store), fromLibrary) << "a copy ahead of the journal";
    expectPlainResults(store, "with a copy ahead of the journal");
    store.reads().releaseSearchMemory();

    const QByteArray beforeRebuild = textsCopyBytes();
    {
        SQLiteConnection other = rawLibrary(store);
        other.execute("DELETE FROM links WHERE rowid % 5 = 1");
        other.execute("VACUUM");
    }
    EXPECT_EQ(readShortTexts(store), fromLibrary - 1) << "a copy from before the rows were renumbered";
    expectPlainResults(store, "after a rebuild renumbered the rows", false);
    store.reads().releaseSearchMemory();
    EXPECT_EQ(textsCopyBytes(), beforeRebuild); // the seal no longer vouches for the rows: no copy is made

    rawLibrary(store).execute("DROP TRIGGER library_changes_link_update");
    rawLibrary(store).execute(
        "UPDATE links SET title = 'qx unseen by the journal' WHERE title = 'plain too'");
    expectPlainResults(store, "without the journal", false);
}

// What the texts kept of a link changed or deleted since stays behind them, and a deleted link's rowid
// is taken by the next link added: each is searched by what its row holds now.
TEST(SearchIndex, ShortTextsOfARowidTakenAgainAreItsNewOnes)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 19, 3000);
    const LinkItem last = addLink(store, makeLink("Qx last", "https://last.example/zz"));
    expectPlainResults(store, "with the texts read");
    SQLiteConnection other = rawLibrary(store);
    const qint64 rowid = scalar(store, "SELECT max(rowid) FROM links");
    store.writes().deleteLink(last.id);
    const QString id = uuidString(QUuid::createUuid());
    other.execute("INSERT INTO links (id, title, url, type, created_at, updated_at) VALUES (?1, 'plain', "
                  "'https://jq.example/', 'web', '2024-01-01T00:00:00.000Z', '2024-01-01T00:00:00.000Z')",
                  {id});
    ASSERT_EQ(scalar(store, "SELECT rowid FROM links WHERE id = '" + id + "'"), rowid);
    expectPlainResults(store, "after the last rowid was taken again");
    other.execute("UPDATE links SET title = 'zz plain' WHERE id = ?1", {id});
    expectPlainResults(store, "after the new row changed");
}

// The tag names of a page are kept between searches: another program's writes to the tags alone, which
// change no link's row and may reach no journal, show in the next search.
TEST(SearchIndex, TagNamesFollowWritesToTheTagsAlone)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 13, 3000);
    expectPlainResults(store, "generated");
    SQLiteConnection other = rawLibrary(store);
    other.execute("UPDATE tags SET name = 'Renamed' WHERE name = 'alpha'");
    expectPlainResults(store, "after a rename");
    // Without foreign keys, as another program may write: the tag's links keep rows naming no tag, until
    // a tag of that id comes back under another name.
    other.execute("DELETE FROM tags WHERE id = 'tag-13'");
    expectPlainResults(store, "after a tag went without its links' rows");
    other.execute("INSERT INTO tags (id, name) VALUES ('tag-13', 'back again')");
    expectPlainResults(store, "after the tag came back renamed");
}

TEST(SearchIndex, ALibraryOpenedBeforeTheIndexIsIndexedInStepsWhileItChanges)
{
    {
        SQLiteStore store(libraryFile());
        fillVariedLibrary(store, 3, 4500);
    }
    writeRaw({"DROP TRIGGER link_search_insert", "DROP TRIGGER link_search_update",
              "DROP TRIGGER link_search_delete", "DROP TABLE link_search", "DROP TABLE link_search_progress",
              "DROP INDEX links_title_nocase_idx"});
    SQLiteStore store(libraryFile());
    int steps = 0;
    for (bool done = false; !done; ++steps) {
        expectPlainResults(store, "while indexing", false);
        store.writes().deleteLink(store.reads().allLinks().first().id);
        addLink(store, makeLink(QStringLiteral("Alpha step %1").arg(steps)));
        done = store.searchIndex().buildStep();
    }
    EXPECT_GT(steps, 2);
    expectPlainResults(store, "indexed");
}

// Runs a shell command on the closed library file, given as $1.
void rewriteLibrary(const QString& command)
{
    QProcess shell;
    shell.start("sh", {"-c", command, "sh", libraryFile()});
    ASSERT_TRUE(shell.waitForFinished(30000));
    ASSERT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
}

TEST(SearchIndex, ALibraryAnotherProgramRewroteIsSearchedRowForRowAndIndexedAgain)
{
    {
        SQLiteStore store(libraryFile());
        fillVariedLibrary(store, 11, 10000);
        // Gaps spread over the table: a dump restored elsewhere closes them, renumbering the rows after.
        rawLibrary(store).execute("DELETE FROM links WHERE rowid % 7 = 3");
    }
    const QList<std::pair<const char*, QString>> rewrites = {
        {"dumped and restored",
         R"(sqlite3 "$1" .dump | sqlite3 "$1.new" && rm -f "$1-wal" "$1-shm" && mv "$1.new" "$1")"},
        {"vacuumed", R"(sqlite3 "$1" VACUUM)"},
    };
    for (const auto& [rewrite, command] : rewrites) {
        rewriteLibrary(command);
        SQLiteStore store(libraryFile());
        expectPlainResults(store, rewrite, false);
        int steps = 1;
        while (!store.searchIndex().buildStep())
            ++steps;
        EXPECT_GT(steps, 1) << rewrite; // rebuilt in steps, not taken as it was
        expectPlainResults(store, rewrite);
    }

    // The library's own opening, closing and indexing leave the index trusted.
    {
        SQLiteStore store(libraryFile());
        EXPECT_TRUE(store.searchIndex().buildStep());
    }
    SQLiteStore store(libraryFile());
    EXPECT_TRUE(store.searchIndex().buildStep());
}

// The copy's head and body as the store wrote them, for a test that damages them as a whole file would
// not be.
struct CopyParts {
    LinkSearchTextsCopy::Head head;
    QByteArray body;

    static CopyParts of(const QByteArray& bytes)
    {
        CopyParts parts{};
        std::memcpy(&parts.head, bytes.constData(), sizeof parts.head);
        parts.body = bytes.mid(sizeof parts.head);
        return parts;
    }
    // With the checksum of the body as it now is, as a copy that only its numbers betray.
    QByteArray bytes()
    {
        head.bodyChecksum = Checksum64::of(body.constData(), std::size_t(body.size()));
        return QByteArray(reinterpret_cast<const char*>(&head), sizeof head) + body;
    }
    qsizetype textsAt() const { return qsizetype(head.links * (sizeof(qint64) + sizeof(qsizetype))); }
};

// The steps of a read from the library of about 17,000 links; one when the copy is taken.
constexpr int readFromLibrary = 3;

// Whatever is found at the copy's path, a short search lists what the statement lists: a FIFO, which
// nothing writes to, is never waited on, and neither it nor a folder, a link or a file others may write
// is taken.
TEST(SearchIndex, WhateverIsAtTheShortTextsCopysPathIsNeverWaitedOnAndTakenOnlyWhenAFileOfOurs)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 43, 17000);
    addRareLinks(store);
    readShortTexts(store);
    store.reads().releaseSearchMemory();
    const QByteArray path = QFile::encodeName(libraryFile() + ".texts");

    ASSERT_TRUE(QFile::remove(libraryFile() + ".texts"));
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    auto read = std::async(std::launch::async, [&store] { return readShortTexts(store); });
    if (read.wait_for(std::chrono::seconds(30)) == std::future_status::timeout) {
        // Lets the read that waits on the FIFO go before failing.
        ::close(::open(path.constData(), O_WRONLY | O_NONBLOCK));
        read.wait();
        FAIL() << "the read waited on a FIFO at the copy's path";
    }
    EXPECT_EQ(read.get(), readFromLibrary) << "a FIFO";
    expectPlainResults(store, "with a FIFO at the copy's path");
    store.reads().releaseSearchMemory();
    EXPECT_EQ(readShortTexts(store), 1) << "the copy written in the FIFO's place";
    store.reads().releaseSearchMemory();

    // Each copy written after a read from the library bears a lineage of its own: the latest is taken.
    const QString elsewhere = testHome() + "/texts elsewhere";
    ASSERT_TRUE(QFile::copy(libraryFile() + ".texts", elsewhere));
    ASSERT_TRUE(QFile::remove(libraryFile() + ".texts"));
    ASSERT_TRUE(QFile::link(elsewhere, libraryFile() + ".texts"));
    EXPECT_EQ(readShortTexts(store), readFromLibrary) << "a link to a copy";
    expectPlainResults(store, "with a link at the copy's path");
    store.reads().releaseSearchMemory();

    ASSERT_TRUE(QFile::setPermissions(libraryFile() + ".texts", QFile::Permissions(0x6666)));
    EXPECT_EQ(readShortTexts(store), readFromLibrary) << "a copy others may write";
    expectPlainResults(store, "with a copy others may write");
    store.reads().releaseSearchMemory();

    ASSERT_TRUE(QFile::remove(libraryFile() + ".texts"));
    ASSERT_TRUE(QDir().mkdir(libraryFile() + ".texts"));
    EXPECT_EQ(readShortTexts(store), readFromLibrary) << "a folder";
    expectPlainResults(store, "with a folder at the copy's path");
    store.reads().releaseSearchMemory();
    EXPECT_TRUE(QFileInfo(libraryFile() + ".texts").isDir()); // left as it was, with no copy written
}

// A copy is taken only when its body is whole: texts zeroed from the middle on, or a start that would
// overflow a sum, are found as it is read, and a copy is made again ahead of the next show.
TEST(SearchIndex, AShortTextsCopyIsTakenOnlyWhenItsBodyIsWhole)
{
    SQLiteStore store(libraryFile());
    fillVariedLibrary(store, 47, 17000);
    addRareLinks(store);
    readShortTexts(store);
    store.reads().releaseSearchMemory();
    const QByteArray own = textsCopyBytes();
    ASSERT_FALSE(own.isEmpty());

    // Each copy written after a read from the library bears a lineage of its own: each damage below is
    // made to the latest.
    QByteArray zeroed = own;
    const qsizetype textsFrom = qsizetype(sizeof(LinkSearchTextsCopy::Head)) + CopyParts::of(own).textsAt();
    std::fill(zeroed.begin() + textsFrom + (zeroed.size() - textsFrom) / 2, zeroed.end(), '\0');
    putTextsCopy(zeroed);
    EXPECT_EQ(readShortTexts(store), readFromLibrary) << "texts zeroed from the middle on";
    expectPlainResults(store, "with the texts' second half zeroed");
    store.reads().releaseSearchMemory();

    zeroed = textsCopyBytes();
    std::fill(zeroed.begin() + textsFrom + (zeroed.size() - textsFrom) / 2, zeroed.end(), '\0');
    putTextsCopy(zeroed);
    int steps = 1;
    while (!store.reads().prepareShortTextsCopyStep())
        ++steps;
    EXPECT_EQ(steps, readFromLibrary) << "a damaged copy is made again ahead";
    EXPECT_NE(textsCopyBytes(), zeroed);
    EXPECT_EQ(readShortTexts(store), 1);
    store.reads().releaseSearchMemory();

    // Starts that only a sum past 2^63 would take for ascending, with a checksum that vouches for them.
    for (const qsizetype start : {std::numeric_limits<qsizetype>::max() - 2, qsizetype(-1)}) {
        CopyParts parts = CopyParts::of(textsCopyBytes());
        const qsizetype second = qsizetype(parts.head.links * sizeof(qint64)) + qsizetype(sizeof(qsizetype));
        std::memcpy(parts.body.data() + second, &start, sizeof start);
        putTextsCopy(parts.bytes());
        EXPECT_EQ(readShortTexts(store), readFromLibrary) << "a start of " << start;
        expectPlainResults(store, "with a start near the end of the numbers");
        store.reads().releaseSearchMemory();
    }
    putTextsCopy(CopyParts::of(textsCopyBytes()).bytes());
    EXPECT_EQ(readShortTexts(store), 1) << "the copy as written, its checksum made again";
}

// An older file of the library put back beside a newer copy, and written to until its journal passes
// the copy's point, never takes the copy: at this start and at the next, a short search lists what the
// statement lists.
TEST(SearchIndex, ALibraryFilePutBackFromBeforeTheShortTextsCopyNeverTakesIt)
{
    const QString backup = testHome() + "/library backup.sqlite";
    {
        SQLiteStore store(libraryFile());
        fillVariedLibrary(store, 53, 17000);
        addRareLinks(store);
    }
    ASSERT_TRUE(QFile::copy(libraryFile(), backup));
    {
        SQLiteStore store(libraryFile());
        for (int i = 0; i < 6; ++i)
            addLink(store, makeLink(QStringLiteral("qx added %1").arg(i)));
        expectPlainResults(store, "after links were added");
        store.reads().releaseSearchMemory();
    }
    const qint64 copyPoint = CopyParts::of(textsCopyBytes()).head.through;
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(libraryFile() + suffix);
    ASSERT_TRUE(QFile::copy(backup, libraryFile()));
    {
        SQLiteStore store(libraryFile());
        for (int i = 0; scalar(store, "SELECT max(seq) FROM library_changes") <= copyPoint + 1; ++i)
            addLink(store, makeLink(QStringLiteral("zq put back %1").arg(i), "https://jq.example/back"));
        expectPlainResults(store, "at the start after the file was put back");
        store.reads().releaseSearchMemory();
    }
    SQLiteStore store(libraryFile());
    expectPlainResults(store, "at the next start");
    store.reads().releaseSearchMemory();
    EXPECT_EQ(readShortTexts(store), 1) << "the copy made for the file put back";
}

} // namespace
