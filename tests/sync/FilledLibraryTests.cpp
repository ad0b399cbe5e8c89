// A library that holds no link takes a whole folder's links in with its indexes made at the end: it must
// end exactly as writing each link with every index in place leaves it.
#include "SyncTestSupport.h"

#include "store/SyncedLibrary.h"

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

// What a joining machine takes in, in the order a pull applies it.
struct Remote {
    QList<DeletedRecord> deletions;
    QList<QList<SyncedLibrary::RemoteLink>> batches;
    QList<LinkRelation> relations;
    LinkItem savedMeanwhile; // this machine's own, saved between the first two batches
};

// Links of every kind of text the search index takes (short, wildcards, case, accents) with tags old and
// new, file fields, copies of some links later in the pull (newer ones that win, older ones that only
// fill a file field), a link deleted before the pull, and relations, a few of which name no link or join
// a link to itself.
Remote remoteLibrary(const QString& refusedTag = {})
{
    const QStringList titles = {"Alpha report", "alpha", "Ünïcode notes", "a%b", "50% off", "ab", "Mail"};
    const QStringList tags = {"work", "Home", "later", "ärger", "x"};
    QList<LinkItem> links;
    for (int i = 0; i < 700; ++i) {
        LinkItem link = makeLink(titles[i % titles.size()] + QStringLiteral(" %1").arg(i));
        link.url = QStringLiteral("https://site%1.example/page/%2").arg(i % 9).arg(i);
        link.notes = i % 3 == 0 ? QStringLiteral("notes about item %1").arg(i % 50) : QString();
        link.tags = {tags[i % tags.size()], tags[(i / 5) % tags.size()],
                     QStringLiteral("tag %1").arg(i % 40)};
        if (i % 4 == 0) {
            link.contentHash = QStringLiteral("hash-%1").arg(i);
            link.fileSize = 100 + i;
        }
        links.append(link);
    }
    Remote remote;
    remote.savedMeanwhile = makeLink("saved here meanwhile");
    remote.savedMeanwhile.tags = {"work", "mine"};
    remote.deletions.append(
        DeletedRecord{QStringLiteral("Link"), uuidString(links[10].id), at("2030-01-01T00:00:00.000Z")});
    QList<SyncedLibrary::RemoteLink> all;
    for (const LinkItem& link : std::as_const(links))
        all.append({link, false});
    for (int i = 0; i < 60; i += 3) {
        LinkItem newer = links[i];
        newer.title += QStringLiteral(" renamed");
        newer.tags = {QStringLiteral("renamed")};
        newer.updatedAt = newer.updatedAt.addSecs(60);
        all.append({newer, true});
        LinkItem older = links[i + 1];
        older.title = QStringLiteral("older");
        older.lastKnownPath = QStringLiteral("/home/someone/older-%1").arg(i);
        older.updatedAt = older.updatedAt.addSecs(-60);
        all.append({older, false});
    }
    if (!refusedTag.isEmpty())
        all[400].link.tags.append(refusedTag);
    for (qsizetype at = 0; at < all.size(); at += 256)
        remote.batches.append(all.mid(at, 256));
    for (int i = 0; i + 7 < links.size(); i += 7)
        remote.relations.append({QUuid::createUuid(), links[i].id, links[i + 7].id, links[i].createdAt});
    remote.relations.append({QUuid::createUuid(), links[5].id, QUuid::createUuid(), links[5].createdAt});
    remote.relations.append({QUuid::createUuid(), links[6].id, links[6].id, links[6].createdAt});
    return remote;
}

// Takes the remote side in as a pull does, filling the library when `fill`, with a link of this machine's
// own saved between the first two batches. Stops at a batch that fails, as the pull does.
void takeIn(Machine& machine, const Remote& remote, bool fill)
{
    SyncedLibrary library(*machine.store);
    for (const DeletedRecord& deleted : remote.deletions)
        library.applyDeletion(deleted).waitForFinished();
    std::optional<QStringList> filling;
    if (fill) {
        filling = library.startFilling().result();
        ASSERT_TRUE(filling.has_value());
    }
    bool failed = false;
    for (qsizetype at = 0; at < remote.batches.size() && !failed; ++at) {
        try {
            library.applyLinks(remote.batches[at]).waitForFinished();
        } catch (const StoreError&) {
            failed = true;
        }
        if (at == 0)
            machine.add(remote.savedMeanwhile);
    }
    if (filling)
        library.finishFilling(*filling).waitForFinished();
    if (!failed)
        library.applyRelations(remote.relations).waitForFinished();
}

// Every row of every table with its rowid (the change journal and its sequence included), every index
// and trigger, and which rows the search index gives for a set of texts. The search index's own tables
// are left out: how it lays out what it holds depends on the order of its writes.
QStringList libraryState(Machine& machine)
{
    return machine.on([](SQLiteStore& sqlite) {
        QStringList state;
        const QStringList tables = texts(
            sqlite, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_stat%' "
                    "ESCAPE '\\' AND (name NOT LIKE 'link\\_search%' ESCAPE '\\' OR name = "
                    "'link_search_progress') ORDER BY name");
        for (const QString& table : tables) {
            QString sql;
            if (table == "tags") {
                sql = "SELECT name FROM tags ORDER BY 1"; // each library makes its own tag ids
            } else if (table == "link_tags") {
                sql = "SELECT link_id || '|' || name FROM link_tags JOIN tags ON tags.id = tag_id ORDER BY 1";
            } else {
                const QStringList columns = texts(
                    sqlite,
                    QStringLiteral("SELECT 'quote(' || name || ')' FROM pragma_table_info('%1')").arg(table));
                // The search index names links by rowid.
                const QString rowid = table == "links" ? QStringLiteral("rowid || '|' || ") : QString();
                sql = QStringLiteral("SELECT %1%2 FROM %3 ORDER BY 1")
                          .arg(rowid, columns.join(" || '|' || "), table);
            }
            for (const QString& row : texts(sqlite, sql))
                state.append(table + u':' + row);
        }
        state += texts(sqlite, "SELECT type || ' ' || name || ': ' || sql FROM sqlite_master WHERE type IN "
                               "('index', 'trigger') AND sql IS NOT NULL ORDER BY name");
        for (const char* text : {"alp", "ALP", "ünï", "50%", "ote", "te3", "m 4", "a%b", "ren", "zzz"}) {
            const QString match = u'"' + QString::fromUtf8(text) + u'"';
            state.append(
                QStringLiteral("search %1: ").arg(match) +
                texts(sqlite, QStringLiteral("SELECT rowid FROM link_search WHERE link_search MATCH '%1' "
                                             "ORDER BY rowid")
                                  .arg(match))
                    .join(','));
        }
        // Raises an error unless the index holds exactly the texts of the rows it names.
        rawLibrary(sqlite).execute("INSERT INTO link_search(link_search) VALUES ('integrity-check')");
        return state;
    });
}

class FilledLibraryTest : public ::testing::Test {
protected:
    // The state each way leaves, with a tag the library refuses installed in both when given.
    std::pair<QStringList, QStringList> bothWays(const Remote& remote, bool refuse)
    {
        QStringList states[2];
        for (const bool fill : {false, true}) {
            Machine machine(fill ? "filled" : "each", std::make_shared<InMemoryRecordStore>());
            if (refuse) {
                machine.on([](SQLiteStore& sqlite) {
                    rawLibrary(sqlite).execute(
                        "CREATE TRIGGER refuse BEFORE INSERT ON link_tags WHEN (SELECT name FROM tags WHERE "
                        "id = new.tag_id) = 'refused' BEGIN SELECT RAISE(ABORT, 'refused'); END");
                });
            }
            takeIn(machine, remote, fill);
            states[fill] = libraryState(machine);
            machine.store->prepareSearch();
            for (const char* text : {"item 4", "alpha", "ab", "%"})
                states[fill].append(titles(machine.store->searchLinks(text).result()).join('|'));
        }
        return {states[0], states[1]};
    }
};

TEST_F(FilledLibraryTest, aFilledLibraryEndsAsOneWrittenLinkByLink)
{
    const auto [each, filled] = bothWays(remoteLibrary(), false);
    EXPECT_EQ(filled, each) << differences(filled, each).toStdString();
    // The pull did what it had to: links new and renamed, the deleted one left out, relations.
    const QString rows = each.join('\n');
    EXPECT_TRUE(rows.contains("renamed"));
    EXPECT_TRUE(rows.contains("older-3"));
    EXPECT_FALSE(rows.contains("'a%b 10'"));
    EXPECT_TRUE(rows.contains("link_relations:"));
    EXPECT_TRUE(rows.contains("library_changes:"));
}

// A link that fails in the middle of a fill leaves what it leaves link by link: the links before it, the
// indexes made again, and no relation.
TEST_F(FilledLibraryTest, aFillThatFailsEndsAsTheSameFailureLinkByLink)
{
    const auto [each, filled] = bothWays(remoteLibrary("refused"), true);
    EXPECT_EQ(filled, each) << differences(filled, each).toStdString();
    const QString rows = each.join('\n');
    EXPECT_TRUE(rows.contains("'Alpha report 399'"));
    EXPECT_FALSE(rows.contains("'alpha 400'"));
    EXPECT_FALSE(rows.contains("link_relations:"));
}

// A fill the process never finished (it ended meanwhile) leaves a library that gets its indexes back
// when it is opened again, and whose search finds what it holds.
TEST_F(FilledLibraryTest, aFillLeftUnfinishedGetsItsIndexesBackWhenOpened)
{
    const Remote remote = remoteLibrary();
    QStringList indexes;
    {
        Machine machine("unfinished", std::make_shared<InMemoryRecordStore>());
        indexes = machine.on([](SQLiteStore& sqlite) {
            return texts(sqlite, "SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name");
        });
        SyncedLibrary library(*machine.store);
        ASSERT_TRUE(library.startFilling().result().has_value());
        library.applyLinks(remote.batches[0]).waitForFinished();
        EXPECT_EQ(machine.store->searchLinks("Alpha report 0").result().size(), 1);
    }
    Machine machine("unfinished", std::make_shared<InMemoryRecordStore>());
    machine.store->prepareSearch();
    EXPECT_EQ(titles(machine.store->searchLinks("Alpha report 0").result()), QStringList{"Alpha report 0"});
    const QStringList state = libraryState(machine);
    EXPECT_EQ(machine.on([](SQLiteStore& sqlite) {
        return texts(sqlite, "SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name");
    }),
              indexes);
    EXPECT_TRUE(state.join('\n').contains("search \"alp\": 1,"));
}

} // namespace
} // namespace morvane::test
