#include "LinkStoreTestSupport.h"

#include "model/MorvaneLibraryExport.h"
#include "store/LibraryImporter.h"

#include <QProcess>
#include <QStorageInfo>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace morvane;
using namespace morvane::test;
using Counts = LibraryImporter::ImportCounts;

namespace {

LinkItem fileLink(const QString& title)
{
    LinkItem item = makeLink(title, "file:///home/me/" + title + ".pdf");
    item.type = LinkType::file;
    item.tags = {"paper", "work"};
    item.notes = "read / annotate";
    item.lastKnownPath = "/home/me/" + title + ".pdf";
    item.contentHash = "ab12";
    item.fileSize = 4096;
    item.lastOpenedAt = at("2024-05-02T10:11:12.000Z");
    return item;
}

QByteArray relationJson(const QUuid& from, const QUuid& to, const QUuid& id = QUuid::createUuid())
{
    return "{\"id\":\"" + uuidString(id).toLatin1() + "\",\"fromLinkID\":\"" + uuidString(from).toLatin1() +
           "\",\"toLinkID\":\"" + uuidString(to).toLatin1() + "\",\"createdAt\":\"2024-05-01T08:00:00Z\"}";
}

QByteArray linkJson(const QUuid& id, const char* type = "web", const char* url = "https://example.com/x")
{
    return "{\"id\":\"" + uuidString(id).toLatin1() + "\",\"title\":\"From file\",\"url\":\"" + url +
           "\",\"type\":\"" + type +
           "\",\"sourceApp\":\"Browser\",\"notes\":\"\",\"tags\":[],"
           "\"createdAt\":\"2024-05-01T08:00:00Z\",\"updatedAt\":\"2024-05-01T08:00:00Z\"}";
}

// A backup file in the test's home holding the given records.
QString backup(const char* name, const QList<QByteArray>& links, const QList<QByteArray>& relations,
               int formatVersion = 1)
{
    return writeFile(name,
                     "{\"formatVersion\":" + QByteArray::number(formatVersion) +
                         ",\"appName\":\"Morvane\",\"exportedAt\":\"2024-06-01T12:00:00Z\",\"links\":[" +
                         QByteArrayList(links).join(',') + "],\"relations\":[" +
                         QByteArrayList(relations).join(',') + "]}");
}

LibraryImporter importerOf(SQLiteStore& store)
{
    return LibraryImporter(store.reads(), store.merge(), store.transactions());
}

struct LibraryImporterTest : ::testing::Test {
    Counts merge(const QString& path) { return importer.importLibrary(path, false); }
    Counts replace(const QString& path) { return importer.importLibrary(path, true); }

    SQLiteStore store{libraryFile()};
    LibraryImporter importer = importerOf(store);
};

} // namespace

TEST_F(LibraryImporterTest, ExportThenReplacingImportIntoAnotherLibraryGivesTheSameLibrary)
{
    const LinkItem paper = addLink(store, fileLink("paper"));
    store.writes().addRelation(addLink(store, makeLink("site")).id, paper.id);
    store.writes().addRelation(addLink(store, makeLink("bare")).id, paper.id);
    const QString path = homePath("Morvane Library.json");
    importer.exportLibrary(path, at("2024-06-01T12:00:00.500Z"));

    SQLiteStore other(homePath("other.sqlite"));
    other.writes().insertLink(makeLink("erased by the replacing import"));
    EXPECT_EQ(importerOf(other).importLibrary(path, true), (Counts{3, 2}));
    // Dates are whole seconds here, except the relations' own: the document keeps no fractions.
    EXPECT_EQ(other.reads().allLinks(), store.reads().allLinks());
    QList<LinkRelation> relations = store.reads().allRelations();
    for (LinkRelation& relation : relations)
        relation.createdAt = wholeSeconds(relation.createdAt);
    EXPECT_EQ(other.reads().allRelations(), relations);
}

// Large enough that what the replace overwrites of the erased library takes many pages: the journal of
// the import's savepoint no longer fits in memory.
TEST_F(LibraryImporterTest, ReplacingAFullLibraryLeavesWhatReplacingAnEmptyOneLeaves)
{
    SQLiteStore source(homePath("source.sqlite"));
    source.transactions().inTransaction([&] {
        QList<LinkItem> links;
        for (int i = 0; i < 600; ++i) {
            LinkItem link = i % 2 == 0 ? fileLink(QStringLiteral("paper %1").arg(i))
                                       : makeLink(QStringLiteral("site %1").arg(i),
                                                  QStringLiteral("https://example.com/%1").arg(i));
            link.tags = {QStringLiteral("tag%1").arg(i % 9), "shared"};
            links.append(addLink(source, link));
            if (i > 0 && i % 3 == 0)
                source.writes().addRelation(links[i - 1].id, link.id);
        }
    });
    const QString path = homePath("backup.json");
    importerOf(source).exportLibrary(path, at("2024-06-01T12:00:00.000Z"));

    fillVariedLibrary(store, 3, 2000);
    store.transactions().inTransaction([&] {
        for (const LinkItem& link : store.reads().allLinks().mid(0, 100))
            store.writes().deleteLink(link.id);
    });
    SQLiteStore empty(homePath("empty.sqlite"));
    for (SQLiteStore* library : {&store, &empty}) {
        const qint64 point = library->journal().changesSince(std::nullopt).through;
        EXPECT_EQ(importerOf(*library).importLibrary(path, true), (Counts{600, 199}));
        const LibraryChangeJournal::Changes changes = library->journal().changesSince(point);
        EXPECT_TRUE(changes.complete);
        EXPECT_TRUE(changes.everything);
    }
    EXPECT_EQ(store.reads().allLinks(), empty.reads().allLinks());
    EXPECT_EQ(store.reads().allRelations(), empty.reads().allRelations());
    EXPECT_TRUE(store.reads().allDeletedRecords().isEmpty());
    EXPECT_TRUE(empty.reads().allDeletedRecords().isEmpty());
    for (const QString query : {"paper 12", "site", "shared", "alpha", "tag4", "example.com/59"}) {
        EXPECT_EQ(titles(store.reads().searchLinks(query)), titles(empty.reads().searchLinks(query)))
            << query.toStdString();
    }
    EXPECT_EQ(scalar(store, "SELECT COUNT(*) FROM tags"), 10);
}

TEST_F(LibraryImporterTest, PreviewCountsRecordsAndThoseAlreadyInTheLibraryWithoutWriting)
{
    const LinkItem a = addLink(store, makeLink("a"));
    const LinkItem b = addLink(store, makeLink("b"));
    const LinkItem c = addLink(store, makeLink("c"));
    store.writes().addRelation(a.id, b.id);
    store.writes().addRelation(b.id, c.id);
    // (B, A) is the stored (A, B); a duplicated record counts once per record; a new pair is not counted.
    const QUuid stranger = QUuid::createUuid();
    const QString mixed = backup("mixed.json", {linkJson(a.id), linkJson(stranger), linkJson(a.id)},
                                 {relationJson(b.id, a.id), relationJson(a.id, b.id),
                                  relationJson(a.id, c.id), relationJson(stranger, a.id)});
    const QStringList before = everyRow(store);
    EXPECT_EQ(importer.preview(mixed),
              (MorvaneLibraryImportPreview{at("2024-06-01T12:00:00.000Z"), 3, 4, 2, 2}));
    EXPECT_EQ(everyRow(store), before);
}

TEST_F(LibraryImporterTest, MergeOverwritesRevivesAndKeepsWhatTheFileLacks)
{
    LinkItem shared = fileLink("shared");
    shared.bookmarkData = QByteArray("bookmark of this machine");
    addLink(store, shared);
    store.writes().upsertLocalResolution(shared.id, FileIdentity{"bm", "inode-7", "volume-1", "/p", {}, {}},
                                         true);
    const LinkItem localOnly = addLink(store, makeLink("local only"));
    const LinkItem deleted = addLink(store, makeLink("deleted"));
    store.writes().addRelation(shared.id, deleted.id);
    LinkItem merged = *store.reads().link(shared.id);

    MorvaneLibraryExport document = importer.exportDocument(at("2024-06-01T12:00:00.000Z")).document;
    document.links.removeIf([&](const auto& record) { return record.id == localOnly.id; });
    auto& record = *std::find_if(document.links.begin(), document.links.end(),
                                 [&](const auto& record) { return record.id == shared.id; });
    record.title = "Retitled";
    record.tags = {"Fresh"};
    record.lastKnownPath.reset();
    const QString path =
        writeFile("backup.json", MorvaneLibraryExport::makeJSONCoders().encoder.encode(document));
    store.writes().deleteLink(deleted.id); // tombstones for the link and its relation

    merge(path);
    EXPECT_TRUE(store.reads().allDeletedRecords().isEmpty());
    EXPECT_EQ(store.reads().relatedLinks(deleted.id).size(), 1);
    EXPECT_TRUE(store.reads().link(localOnly.id));
    merged.title = "Retitled";
    merged.tags = {"fresh"};
    merged.lastKnownPath.reset(); // the file overwrites, absent values too; this machine's evidence stays
    EXPECT_EQ(store.reads().link(shared.id), merged);
    EXPECT_TRUE(store.fileLookups().localResolution(shared.id));

    replace(path);
    EXPECT_FALSE(store.reads().link(localOnly.id));
    EXPECT_FALSE(store.reads().link(shared.id)->bookmarkData);
    EXPECT_FALSE(store.fileLookups().localResolution(shared.id));
}

TEST_F(LibraryImporterTest, ARefusedFileLeavesTheLibraryRowForRowAndSaysWhy)
{
    const LinkItem a = addLink(store, fileLink("a"));
    const LinkItem b = addLink(store, makeLink("b"));
    store.writes().addRelation(a.id, b.id);
    store.writes().upsertLocalResolution(a.id, FileIdentity{"bm", {}, {}, "/a", {}, {}}, false);
    store.writes().deleteLink(addLink(store, makeLink("gone")).id);
    const QUuid libraryRelation = store.reads().allRelations().constFirst().id;
    const QUuid x = QUuid::createUuid(), y = QUuid::createUuid(), missing = QUuid::createUuid();
    const QUuid shared = QUuid::createUuid();
    QDir().mkpath(homePath("a folder.json"));
    const QString nothingImported = ". Nothing was imported.";

    struct Case {
        QString path;
        bool replacing;
        QString message;
        bool previewRefusesToo = false; // what the file alone shows
    };
    const Case cases[] = {
        {homePath("missing.json"), false, genericFileNotOpenedText("missing.json"), true},
        {homePath("a folder.json"), true, genericFileNotOpenedText("a folder.json"), true},
        {writeFile("cut.json", "{\"formatVersion\":1,"), true, genericDataFormatText(), true},
        {backup("v2.json", {linkJson(x)}, {}, 2), true, "Unsupported Morvane export format version 2.", true},
        {backup("passwd.json", {linkJson(x, "web", "file:///etc/passwd")}, {}), false,
         "The link “From file” in the file has an address that does not belong to its type “web”.", true},
        {backup("two-pairs.json", {linkJson(x), linkJson(y), linkJson(missing)},
                {relationJson(x, y, shared), relationJson(missing, x, shared)}),
         true, "Two relations in the file share the id " + uuidString(shared) + nothingImported},
        // Only a merge keeps the library's relations for the file's to clash with.
        {backup("reuses.json", {linkJson(x), linkJson(y)}, {relationJson(x, y, libraryRelation)}), false,
         "A relation in the file reuses the id " + uuidString(libraryRelation) +
             " of another relation in the library" + nothingImported},
    };
    const QStringList before = everyRow(store);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        EXPECT_EQ(errorText([&] { importer.importLibrary(c.path, c.replacing); }), c.message);
        if (c.previewRefusesToo) {
            EXPECT_EQ(errorText([&] { importer.preview(c.path); }), c.message);
        }
        EXPECT_EQ(everyRow(store), before);
    }

    // A file that passes every check but that the database refuses after the erase.
    rawLibrary(store).execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON link_relations BEGIN SELECT RAISE(ABORT, 'no'); END");
    EXPECT_THROW(replace(backup("valid.json", {linkJson(x), linkJson(y)}, {relationJson(x, y)})), StoreError);
    EXPECT_EQ(everyRow(store), before);
}

TEST_F(LibraryImporterTest, RelationsToMissingLinksAreNeitherExportedNorInTheWayOfAnImport)
{
    const LinkItem a = addLink(store, makeLink("a"));
    const LinkItem b = addLink(store, makeLink("b"));
    store.writes().addRelation(a.id, b.id);
    // Left by another program that wrote without the foreign keys on.
    const QUuid gone = QUuid::createUuid();
    SQLiteConnection raw = rawLibrary(store);
    raw.execute("PRAGMA foreign_keys = OFF");
    for (const QString& pair : {"'" + uuidString(a.id) + "', '" + uuidString(gone) + "'",
                                "'" + uuidString(gone) + "', '" + uuidString(b.id) + "'"})
        raw.execute("INSERT INTO link_relations VALUES ('" + uuidString(QUuid::createUuid()) + "', " + pair +
                    ", '2024-05-01T08:00:00.000Z')");
    ASSERT_EQ(store.reads().allRelations().size(), 3);

    const QString path = homePath("dangling.json");
    EXPECT_EQ(importer.exportLibrary(path, at("2024-06-01T12:00:00.000Z")).leftOutRelationCount, 2);
    SQLiteStore other(homePath("other.sqlite"));
    EXPECT_EQ(importerOf(other).importLibrary(path, true), (Counts{2, 1, 0}));

    // An older backup holding them: replacing skips every relation that names a link not in the file,
    // merging only those that name a link in neither.
    const QUuid x = QUuid::createUuid();
    const QString older = backup("older.json", {linkJson(x)},
                                 {relationJson(x, gone), relationJson(x, a.id), relationJson(gone, gone)});
    EXPECT_EQ(importerOf(other).importLibrary(older, false), (Counts{1, 3, 1}));
    EXPECT_EQ(other.reads().relatedLinks(x).size(), 1);
    EXPECT_EQ(importerOf(other).importLibrary(older, true), (Counts{1, 3, 2}));
    EXPECT_TRUE(other.reads().allRelations().isEmpty());
    EXPECT_EQ(other.reads().allLinks().size(), 1);
}

TEST_F(LibraryImporterTest, RelationsMayNameTheLibraryOnMergeAndRepeatTheirIdOnlyForTheirOwnPair)
{
    const LinkItem a = addLink(store, makeLink("a"));
    const LinkItem b = addLink(store, makeLink("b"));
    store.writes().addRelation(a.id, b.id);
    const QUuid libraryRelation = store.reads().allRelations().constFirst().id;
    const QUuid x = QUuid::createUuid(), y = QUuid::createUuid(), shared = QUuid::createUuid();
    const QList<QByteArray> links = {linkJson(x), linkJson(y)};

    EXPECT_EQ(merge(backup("to-library.json", {linkJson(x)}, {relationJson(x, a.id)})), (Counts{1, 1}));
    // One pair in both directions, and a relation with itself that is never written, under one id.
    const QList<QByteArray> repeats = {relationJson(x, y, shared), relationJson(y, x, shared),
                                       relationJson(x, x, shared)};
    EXPECT_EQ(merge(backup("repeats.json", links, repeats)), (Counts{2, 3}));
    // The library's own pair, turned round, under its own id and under another: its row stays and takes
    // the file's time.
    const QList<QByteArray> pair = {relationJson(b.id, a.id, libraryRelation), relationJson(a.id, b.id)};
    EXPECT_EQ(merge(backup("pair.json", {}, pair)), (Counts{0, 2}));
    EXPECT_EQ(texts(store,
                    "SELECT created_at FROM link_relations WHERE id = '" + uuidString(libraryRelation) + "'"),
              QStringList{"2024-05-01T08:00:00.000Z"});
    EXPECT_EQ(store.reads().allRelations().size(), 3);

    // Replacing erases the library's relations first, so their ids are free again; a relation of a link
    // with itself needs no link at all.
    const QUuid nowhere = QUuid::createUuid();
    const QList<QByteArray> reuses = {relationJson(y, x, libraryRelation), relationJson(nowhere, nowhere)};
    EXPECT_EQ(replace(backup("reuses.json", links, reuses)), (Counts{2, 2}));
    const QList<LinkRelation> relations = store.reads().allRelations();
    ASSERT_EQ(relations.size(), 1);
    EXPECT_EQ(relations[0].id, libraryRelation);
    EXPECT_EQ(LinkRelation::recordName(relations[0].fromLinkID, relations[0].toLinkID),
              LinkRelation::recordName(x, y));
}

namespace {

// A file system of the given size of its own, for as long as it lives.
class SmallDisk {
public:
    explicit SmallDisk(const QString& size)
        : m_path(homePath("small disk"))
    {
        QDir().mkpath(m_path);
        m_mounted = geteuid() == 0 &&
                    QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", m_path}) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute("umount", {"-l", m_path});
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    QString path(const QString& name) const { return m_path + "/" + name; }
    qint64 free() const { return QStorageInfo(m_path).bytesFree(); }

private:
    QString m_path;
    bool m_mounted = false;
};

TEST(LibraryImportOnAFullDisk, AFailedImportGivesTheLogsSpaceBackAndTheLibraryOpensAgain)
{
    SmallDisk disk("3m");
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a small file system needs root with the right to mount";
    const QString library = disk.path("library.sqlite");
    QList<LinkItem> links;
    for (int i = 0; i < 20000; ++i)
        links.append(
            makeLink(QStringLiteral("Imported link %1 with a title long enough to fill pages").arg(i)));
    const QString path =
        writeFile("large.json", MorvaneLibraryExport::makeJSONCoders().encoder.encode(
                                    MorvaneLibraryExport(links, {}, at("2024-06-01T12:00:00.000Z"))));
    {
        SQLiteStore store(library);
        for (int i = 0; i < 20; ++i)
            addLink(store, makeLink(QStringLiteral("kept %1").arg(i)));
    }
    const qint64 freeBefore = disk.free();
    for (const bool replacing : {true, false}) {
        {
            SQLiteStore store(library);
            EXPECT_THROW(importerOf(store).importLibrary(path, replacing), StoreError);
            EXPECT_EQ(QFileInfo(library + "-wal").size(), 0);
        }
        SQLiteStore reopened(library);
        EXPECT_EQ(reopened.reads().allLinks().size(), 20);
        // What the log took is free again, give or take a few pages of the library's own.
        EXPECT_GT(disk.free(), freeBefore - 64 * 1024);
    }
}

} // namespace
