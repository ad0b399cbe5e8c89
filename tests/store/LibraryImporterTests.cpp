#include "TestEnvironment.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"
#include "library/SQLiteStore.h"
#include "model/MorvaneLibraryExport.h"
#include "store/LibraryImportError.h"
#include "store/LibraryImporter.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

QDateTime at(const char* text)
{
    return *parseLibraryDate(QString::fromLatin1(text));
}

LinkItem webLink(const QString& title, QStringList tags = {})
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.url = QStringLiteral("https://example.com/") + title;
    item.type = LinkType::web;
    item.sourceApp = QStringLiteral("Browser");
    item.tags = std::move(tags);
    item.createdAt = at("2024-05-01T08:00:00.250Z");
    item.updatedAt = at("2024-05-01T09:00:00.750Z");
    return item;
}

LinkItem fileLink(const QString& title)
{
    LinkItem item = webLink(title, {QStringLiteral("paper"), QStringLiteral("work")});
    item.type = LinkType::file;
    item.url = QStringLiteral("file:///home/me/") + title + QStringLiteral(".pdf");
    item.sourceApp = QStringLiteral("Finder");
    item.notes = QStringLiteral("read / annotate");
    item.lastKnownPath = QStringLiteral("/home/me/") + title + QStringLiteral(".pdf");
    item.contentHash = QStringLiteral("ab12");
    item.fileSize = 4096;
    item.lastOpenedAt = at("2024-05-02T10:11:12.999Z");
    item.bookmarkData = QByteArray("bookmark of this machine");
    item.fileResourceIdentifier = QStringLiteral("inode-7");
    item.volumeIdentifier = QStringLiteral("volume-1");
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

QByteArray documentJson(const QList<QByteArray>& links, const QList<QByteArray>& relations,
                        int formatVersion = 1)
{
    return "{\"formatVersion\":" + QByteArray::number(formatVersion) +
           ",\"appName\":\"Morvane\",\"exportedAt\":\"2024-06-01T12:00:00Z\",\"links\":[" +
           QByteArrayList(links).join(',') + "],\"relations\":[" + QByteArrayList(relations).join(',') + "]}";
}

class LibraryImporterTest : public ::testing::Test {
protected:
    LibraryImporterTest()
        : store(test::testHome() + QStringLiteral("/library.sqlite"))
        , importer(store)
    {
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = test::testHome() + u'/' + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    LinkItem add(LinkItem item)
    {
        store.insertLink(item);
        store.replaceTags(item.tags, item.id);
        return item;
    }

    // Every row of every table as text, in a stable order: equal snapshots mean nothing changed.
    QStringList snapshot()
    {
        QStringList rows;
        for (const char* table :
             {"links", "tags", "link_tags", "link_relations", "link_local_resolutions", "deleted_records"}) {
            QStringList columns;
            SQLiteStatement info =
                store.prepare(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table));
            while (info.step())
                columns.append(QStringLiteral("quote(%1)").arg(info.text(0)));
            SQLiteStatement select = store.prepare(
                QStringLiteral("SELECT %1 FROM %2 ORDER BY 1")
                    .arg(columns.join(QStringLiteral(" || '|' || ")), QString::fromLatin1(table)));
            while (select.step())
                rows.append(QString::fromLatin1(table) + u':' + select.text(0));
        }
        return rows;
    }

    SQLiteStore store;
    LibraryImporter importer;
};

// What survives a trip through a backup: everything but this machine's evidence, dates to the second.
LinkItem throughBackup(LinkItem item)
{
    item.bookmarkData.reset();
    item.fileResourceIdentifier.reset();
    item.volumeIdentifier.reset();
    item.createdAt = wholeSeconds(item.createdAt);
    item.updatedAt = wholeSeconds(item.updatedAt);
    if (item.lastOpenedAt)
        item.lastOpenedAt = wholeSeconds(*item.lastOpenedAt);
    return item;
}

TEST_F(LibraryImporterTest, ExportThenImportIntoAnEmptyLibraryGivesTheSameLibrary)
{
    const LinkItem paper = add(fileLink(QStringLiteral("paper")));
    store.recordOpen(paper.id);
    const LinkItem site = add(webLink(QStringLiteral("site"), {QStringLiteral("news")}));
    const LinkItem bare = add(webLink(QStringLiteral("bare")));
    store.addRelation(site.id, paper.id);
    store.addRelation(bare.id, paper.id);
    const QList<LinkRelation> relations = store.allRelations();

    const QString path = test::testHome() + QStringLiteral("/Morvane Library.json");
    const MorvaneLibraryExport written = importer.exportLibrary(path, at("2024-06-01T12:00:00.500Z"));
    EXPECT_EQ(written.links.size(), 3);
    EXPECT_EQ(written.relations.size(), 2);

    SQLiteStore other(test::testHome() + QStringLiteral("/other.sqlite"));
    LibraryImporter otherImporter(other);
    const auto counts = otherImporter.importLibrary(path, false);
    EXPECT_EQ(counts, (LibraryImporter::ImportCounts{3, 2}));

    QList<LinkItem> expected;
    for (const LinkItem& item : store.allLinks())
        expected.append(throughBackup(item));
    QList<LinkItem> imported = other.allLinks();
    const auto byTitle = [](const LinkItem& a, const LinkItem& b) { return a.title < b.title; };
    std::sort(expected.begin(), expected.end(), byTitle);
    std::sort(imported.begin(), imported.end(), byTitle);
    EXPECT_EQ(imported, expected);

    QList<LinkRelation> expectedRelations;
    for (LinkRelation relation : relations) {
        relation.createdAt = wholeSeconds(relation.createdAt);
        expectedRelations.append(relation);
    }
    EXPECT_EQ(other.allRelations(), expectedRelations);

    // Exporting the imported library writes the same document again.
    const QByteArray again = MorvaneLibraryExport::makeJSONCoders().encoder.encode(
        otherImporter.exportDocument(written.exportedAt));
    QFile first(path);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(again, first.readAll());
}

TEST_F(LibraryImporterTest, AnEmptyLibraryExportsEmptyListsThatMergeToNothingAndReplaceToEmpty)
{
    const QString path = test::testHome() + QStringLiteral("/empty.json");
    importer.exportLibrary(path, at("2024-06-01T12:00:00.000Z"));

    SQLiteStore other(test::testHome() + QStringLiteral("/other.sqlite"));
    LibraryImporter otherImporter(other);
    const LinkItem kept = webLink(QStringLiteral("kept"));
    other.insertLink(kept);

    EXPECT_EQ(otherImporter.importLibrary(path, false), (LibraryImporter::ImportCounts{0, 0}));
    EXPECT_EQ(other.allLinks().size(), 1);
    otherImporter.importLibrary(path, true);
    EXPECT_TRUE(other.allLinks().isEmpty());
}

TEST_F(LibraryImporterTest, PreviewCountsRecordsAndThoseAlreadyInTheLibrary)
{
    const LinkItem a = add(webLink(QStringLiteral("a")));
    const LinkItem b = add(webLink(QStringLiteral("b")));
    const LinkItem c = add(webLink(QStringLiteral("c")));
    store.addRelation(a.id, b.id);
    store.addRelation(b.id, c.id);

    const QString own = test::testHome() + QStringLiteral("/own.json");
    importer.exportLibrary(own, at("2024-06-01T12:00:00.000Z"));
    const MorvaneLibraryImportPreview ownPreview = importer.preview(own);
    EXPECT_EQ(ownPreview.exportedAt, at("2024-06-01T12:00:00.000Z"));
    EXPECT_EQ(ownPreview.linkCount, 3);
    EXPECT_EQ(ownPreview.existingLinkCount, 3);
    EXPECT_EQ(ownPreview.relationCount, 2);
    EXPECT_EQ(ownPreview.existingRelationCount, 2);

    // (B, A) is the stored (A, B); a duplicated record counts once per record; a new pair is not counted.
    const QUuid stranger = QUuid::createUuid();
    const QString mixed = writeFile(QStringLiteral("mixed.json"),
                                    documentJson({linkJson(a.id), linkJson(stranger), linkJson(a.id)},
                                                 {relationJson(b.id, a.id), relationJson(a.id, b.id),
                                                  relationJson(a.id, c.id), relationJson(stranger, a.id)}));
    const QStringList before = snapshot();
    const MorvaneLibraryImportPreview preview = importer.preview(mixed);
    EXPECT_EQ(preview.linkCount, 3);
    EXPECT_EQ(preview.existingLinkCount, 2);
    EXPECT_EQ(preview.relationCount, 4);
    EXPECT_EQ(preview.existingRelationCount, 2);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(LibraryImporterTest, MergeOverwritesRevivesAndKeepsWhatTheFileLacks)
{
    LinkItem shared = add(fileLink(QStringLiteral("shared")));
    store.upsertLocalResolution(shared.id,
                                FileIdentity{QByteArray("bm"), QStringLiteral("inode-7"),
                                             QStringLiteral("volume-1"), QStringLiteral("/p"), std::nullopt,
                                             std::nullopt},
                                true);
    const LinkItem localOnly = add(webLink(QStringLiteral("local only")));
    const LinkItem deleted = add(webLink(QStringLiteral("deleted")));
    store.addRelation(shared.id, deleted.id);

    const QString path = test::testHome() + QStringLiteral("/backup.json");
    MorvaneLibraryExport document = importer.exportDocument(at("2024-06-01T12:00:00.000Z"));
    document.links.removeIf([&](const auto& record) { return record.id == localOnly.id; });
    for (auto& record : document.links) {
        if (record.id == shared.id) {
            record.title = QStringLiteral("Retitled");
            record.tags = {QStringLiteral("fresh")};
            record.lastKnownPath.reset();
        }
    }
    writeFile(QStringLiteral("backup.json"), MorvaneLibraryExport::makeJSONCoders().encoder.encode(document));

    store.deleteLink(deleted.id);
    ASSERT_TRUE(store.isTombstoned(QStringLiteral("Link"), uuidString(deleted.id)));
    ASSERT_TRUE(
        store.isTombstoned(QStringLiteral("LinkRelation"), LinkRelation::recordName(shared.id, deleted.id)));

    importer.importLibrary(path, false);

    EXPECT_TRUE(store.link(deleted.id).has_value());
    EXPECT_FALSE(store.isTombstoned(QStringLiteral("Link"), uuidString(deleted.id)));
    EXPECT_FALSE(
        store.isTombstoned(QStringLiteral("LinkRelation"), LinkRelation::recordName(shared.id, deleted.id)));
    EXPECT_EQ(store.relatedLinks(deleted.id).size(), 1);
    EXPECT_TRUE(store.link(localOnly.id).has_value());

    const LinkItem merged = *store.link(shared.id);
    EXPECT_EQ(merged.title, QStringLiteral("Retitled"));
    EXPECT_EQ(merged.tags, QStringList{QStringLiteral("fresh")});
    EXPECT_FALSE(merged.lastKnownPath.has_value());      // the file overwrites, absent values too
    EXPECT_EQ(merged.bookmarkData, shared.bookmarkData); // this machine's evidence stays
    EXPECT_TRUE(store.localResolution(shared.id).has_value());

    importer.importLibrary(path, true);
    EXPECT_FALSE(store.link(localOnly.id).has_value());
    EXPECT_FALSE(store.link(shared.id)->bookmarkData.has_value());
    EXPECT_FALSE(store.localResolution(shared.id).has_value());
}

TEST_F(LibraryImporterTest, RelationEndsMustBeInTheFileOrOnMergeInTheLibrary)
{
    const LinkItem local = add(webLink(QStringLiteral("local")));
    const QUuid inFile = QUuid::createUuid();
    const QUuid nowhere = QUuid::createUuid();
    const QString toLocal = writeFile(QStringLiteral("to-local.json"),
                                      documentJson({linkJson(inFile)}, {relationJson(inFile, local.id)}));
    const QString toNowhere = writeFile(QStringLiteral("to-nowhere.json"),
                                        documentJson({linkJson(inFile)}, {relationJson(nowhere, inFile)}));
    const QString toItself = writeFile(QStringLiteral("to-itself.json"),
                                       documentJson({linkJson(inFile)}, {relationJson(nowhere, nowhere)}));

    const QStringList before = snapshot();
    try {
        importer.importLibrary(toNowhere, false);
        ADD_FAILURE() << "a relation to a link nowhere was imported";
    } catch (const LibraryImportError& error) {
        EXPECT_EQ(error.kind(), LibraryImportError::Kind::relationEndMissing);
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("A relation in the file refers to a link that is neither in the file nor in "
                                 "the library (") +
                      uuidString(nowhere) + QStringLiteral("). Nothing was imported."));
    }
    try {
        importer.importLibrary(toLocal, true);
        ADD_FAILURE() << "a replacing import kept a relation to a link it erases";
    } catch (const LibraryImportError& error) {
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("not in the file (") +
                                                          uuidString(local.id)));
    }
    EXPECT_EQ(snapshot(), before);

    // A merge may relate the file's links to the library's; a relation to itself is skipped.
    EXPECT_EQ(importer.importLibrary(toLocal, false), (LibraryImporter::ImportCounts{1, 1}));
    EXPECT_EQ(store.relatedLinks(local.id).size(), 1);
    EXPECT_EQ(importer.importLibrary(toItself, true), (LibraryImporter::ImportCounts{1, 1}));
    EXPECT_TRUE(store.allRelations().isEmpty());
}

TEST_F(LibraryImporterTest, AFileThatCannotBeImportedLeavesTheLibraryRowForRow)
{
    const LinkItem a = add(fileLink(QStringLiteral("a")));
    const LinkItem b = add(webLink(QStringLiteral("b"), {QStringLiteral("tag")}));
    store.addRelation(a.id, b.id);
    store.upsertLocalResolution(a.id,
                                FileIdentity{QByteArray("bm"), std::nullopt, std::nullopt,
                                             QStringLiteral("/a"), std::nullopt, std::nullopt},
                                false);
    const LinkItem gone = add(webLink(QStringLiteral("gone")));
    store.deleteLink(gone.id);

    const QUuid x = QUuid::createUuid();
    const QUuid y = QUuid::createUuid();
    const QUuid sharedRelationID = QUuid::createUuid();
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"not JSON", "{\"formatVersion\":1,"},
        {"version 2", documentJson({linkJson(x)}, {}, 2)},
        {"an id that is not a UUID",
         documentJson({linkJson(x).replace(uuidString(x).toLatin1(), "not-a-uuid")}, {})},
        {"a web link with a file address", documentJson({linkJson(x, "web", "file:///etc/passwd")}, {})},
        {"a file link with a web address", documentJson({linkJson(x, "file", "https://example.com/")}, {})},
        {"a relation to a missing link", documentJson({linkJson(x)}, {relationJson(x, QUuid::createUuid())})},
        // Decodes and checks, but the database refuses the second row after the erase: one relation id
        // for two pairs.
        {"a database failure after the erase",
         documentJson({linkJson(x), linkJson(y), linkJson(a.id, "web", "https://example.com/a")},
                      {relationJson(x, y, sharedRelationID), relationJson(x, a.id, sharedRelationID)})},
    };
    const QStringList before = snapshot();
    ASSERT_FALSE(before.isEmpty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = writeFile(QStringLiteral("bad.json"), c.bytes);
        for (const bool replacing : {true, false}) {
            EXPECT_THROW(importer.importLibrary(path, replacing), Error);
            EXPECT_EQ(snapshot(), before);
        }
    }
}

TEST_F(LibraryImporterTest, UnreadableFilesAndOtherVersionsAreRefusedWithTheirMessages)
{
    const QString version2 =
        writeFile(QStringLiteral("v2.json"), documentJson({linkJson(QUuid::createUuid())}, {}, 2));
    for (const bool preview : {true, false}) {
        try {
            preview ? (void)importer.preview(version2) : (void)importer.importLibrary(version2, false);
            ADD_FAILURE() << "version 2 was read";
        } catch (const MorvaneLibraryExportError& error) {
            EXPECT_EQ(error.version(), 2);
            EXPECT_EQ(error.localizedDescription(),
                      QStringLiteral("Unsupported Morvane export format version 2."));
        }
    }
    EXPECT_TRUE(store.allLinks().isEmpty());

    const QString folder = test::testHome() + QStringLiteral("/a folder.json");
    QDir().mkpath(folder);
    for (const QString& path : {test::testHome() + QStringLiteral("/missing.json"), folder}) {
        try {
            importer.preview(path);
            ADD_FAILURE() << "read " << path.toStdString();
        } catch (const Error& error) {
            EXPECT_EQ(error.localizedDescription(), genericFileNotOpenedText(QFileInfo(path).fileName()));
        }
    }

    const QString mismatch =
        writeFile(QStringLiteral("mismatch.json"), documentJson({linkJson(QUuid::createUuid(), "mail")}, {}));
    try {
        importer.preview(mismatch);
        ADD_FAILURE() << "a mail link with a web address was read";
    } catch (const LibraryImportError& error) {
        EXPECT_EQ(
            error.localizedDescription(),
            QStringLiteral("The link “From file” in the file has an address that does not belong to its "
                           "type “mail”."));
    }
}

TEST_F(LibraryImporterTest, AHandWrittenFileImports)
{
    // Keys in another order, slashes unescaped, dates with offsets, nulls for absent values, extra keys.
    const QByteArray bytes = R"({
  "relations": [ { "toLinkID": "6f1c0a4e-0000-4000-8000-000000000002", "createdAt": "2024-05-01T10:00:00+02:00",
                   "fromLinkID": "6F1C0A4E-0000-4000-8000-000000000001", "id": "6F1C0A4E-0000-4000-8000-0000000000AA" } ],
  "links": [
    { "url": "https://example.com/a/b", "type": "web", "title": "A", "tags": ["x", "Y"], "notes": "n/a",
      "sourceApp": "Browser", "id": "6F1C0A4E-0000-4000-8000-000000000001", "createdAt": "2024-05-01T08:00:00Z",
      "updatedAt": "2024-05-01T09:30:00-01:00", "lastOpenedAt": null, "extra": {"ignored": true} },
    { "id": "6F1C0A4E-0000-4000-8000-000000000002", "type": "file", "url": "file:///home/me/b.txt", "title": "B",
      "sourceApp": "Finder", "notes": "", "tags": [], "fileSize": 12, "lastKnownPath": "/home/me/b.txt",
      "createdAt": "2024-05-01T08:00:00Z", "updatedAt": "2024-05-01T08:00:00Z" }
  ],
  "exportedAt": "2024-06-01T14:00:00+02:00", "formatVersion": 1, "appName": "Something else"
})";
    const QString path = writeFile(QStringLiteral("hand.json"), bytes);
    EXPECT_EQ(importer.preview(path).exportedAt, at("2024-06-01T12:00:00.000Z"));
    EXPECT_EQ(importer.importLibrary(path, false), (LibraryImporter::ImportCounts{2, 1}));

    const LinkItem a = *store.link(*parseUuid(QStringLiteral("6F1C0A4E-0000-4000-8000-000000000001")));
    EXPECT_EQ(a.url, QStringLiteral("https://example.com/a/b"));
    EXPECT_EQ(a.notes, QStringLiteral("n/a"));
    EXPECT_EQ(a.tags, (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    EXPECT_EQ(a.updatedAt, at("2024-05-01T10:30:00.000Z"));
    EXPECT_FALSE(a.lastOpenedAt.has_value());
    const QList<LinkRelation> relations = store.allRelations();
    ASSERT_EQ(relations.size(), 1);
    EXPECT_EQ(relations.first().createdAt, at("2024-05-01T08:00:00.000Z"));
    EXPECT_EQ(store.link(relations.first().toLinkID)->fileSize, 12);
}

} // namespace
