#include "LinkStoreTestSupport.h"
#include "TestValues.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"
#include "library/SQLiteStore.h"
#include "model/MorvaneLibraryExport.h"
#include "store/LibraryImportError.h"
#include "store/LibraryImporter.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

using namespace morvane;
using test::at;
using test::homePath;
using test::writeFile;
using Counts = LibraryImporter::ImportCounts;

namespace {

LinkItem webLink(const QString& title, QStringList tags = {})
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.url = QStringLiteral("https://example.com/") + title;
    item.sourceApp = QStringLiteral("Browser");
    item.tags = std::move(tags);
    item.createdAt = at("2024-05-01T08:00:00.000Z");
    item.updatedAt = at("2024-05-01T09:00:00.000Z");
    return item;
}

LinkItem fileLink(const QString& title)
{
    LinkItem item = webLink(title, {QStringLiteral("paper"), QStringLiteral("work")});
    item.type = LinkType::file;
    item.url = QStringLiteral("file:///home/me/") + title + QStringLiteral(".pdf");
    item.notes = QStringLiteral("read / annotate");
    item.lastKnownPath = QStringLiteral("/home/me/") + title + QStringLiteral(".pdf");
    item.contentHash = QStringLiteral("ab12");
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

QByteArray documentJson(const QList<QByteArray>& links, const QList<QByteArray>& relations,
                        int formatVersion = 1)
{
    return "{\"formatVersion\":" + QByteArray::number(formatVersion) +
           ",\"appName\":\"Morvane\",\"exportedAt\":\"2024-06-01T12:00:00Z\",\"links\":[" +
           QByteArrayList(links).join(',') + "],\"relations\":[" + QByteArrayList(relations).join(',') + "]}";
}

// The message of the error the call throws, or "no error".
QString errorText(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& error) {
        return error.localizedDescription();
    }
    return QStringLiteral("no error");
}

class LibraryImporterTest : public ::testing::Test {
protected:
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

    SQLiteStore store{homePath(QStringLiteral("library.sqlite"))};
    LibraryImporter importer{store};
};

TEST_F(LibraryImporterTest, ExportThenImportIntoAnotherLibraryGivesTheSameLibrary)
{
    const LinkItem paper = add(fileLink(QStringLiteral("paper")));
    const LinkItem site = add(webLink(QStringLiteral("site"), {QStringLiteral("news")}));
    const LinkItem bare = add(webLink(QStringLiteral("bare")));
    store.addRelation(site.id, paper.id);
    store.addRelation(bare.id, paper.id);

    const QString path = homePath(QStringLiteral("Morvane Library.json"));
    const MorvaneLibraryExport written = importer.exportLibrary(path, at("2024-06-01T12:00:00.500Z"));
    SQLiteStore other(homePath(QStringLiteral("other.sqlite")));
    LibraryImporter otherImporter(other);
    other.insertLink(webLink(QStringLiteral("erased by the replacing import")));
    EXPECT_EQ(otherImporter.importLibrary(path, true), (Counts{3, 2}));

    // Dates are whole seconds here: the document keeps no fractions.
    QList<LinkItem> expected = store.allLinks();
    QList<LinkItem> imported = other.allLinks();
    const auto byTitle = [](const LinkItem& a, const LinkItem& b) { return a.title < b.title; };
    std::sort(expected.begin(), expected.end(), byTitle);
    std::sort(imported.begin(), imported.end(), byTitle);
    EXPECT_EQ(imported, expected);
    QList<LinkRelation> expectedRelations = store.allRelations();
    for (LinkRelation& relation : expectedRelations)
        relation.createdAt = wholeSeconds(relation.createdAt);
    EXPECT_EQ(other.allRelations(), expectedRelations);

    // Exporting the imported library writes the same document again.
    QFile first(path);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(MorvaneLibraryExport::makeJSONCoders().encoder.encode(
                  otherImporter.exportDocument(written.exportedAt)),
              first.readAll());
}

TEST_F(LibraryImporterTest, PreviewCountsRecordsAndThoseAlreadyInTheLibraryWithoutWriting)
{
    const LinkItem a = add(webLink(QStringLiteral("a")));
    const LinkItem b = add(webLink(QStringLiteral("b")));
    const LinkItem c = add(webLink(QStringLiteral("c")));
    store.addRelation(a.id, b.id);
    store.addRelation(b.id, c.id);
    // (B, A) is the stored (A, B); a duplicated record counts once per record; a new pair is not counted.
    const QUuid stranger = QUuid::createUuid();
    const QString mixed = writeFile(QStringLiteral("mixed.json"),
                                    documentJson({linkJson(a.id), linkJson(stranger), linkJson(a.id)},
                                                 {relationJson(b.id, a.id), relationJson(a.id, b.id),
                                                  relationJson(a.id, c.id), relationJson(stranger, a.id)}));
    const QStringList before = snapshot();
    EXPECT_EQ(importer.preview(mixed),
              (MorvaneLibraryImportPreview{at("2024-06-01T12:00:00.000Z"), 3, 4, 2, 2}));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(LibraryImporterTest, MergeOverwritesRevivesAndKeepsWhatTheFileLacks)
{
    LinkItem shared = fileLink(QStringLiteral("shared"));
    shared.bookmarkData = QByteArray("bookmark of this machine");
    add(shared);
    store.upsertLocalResolution(shared.id,
                                FileIdentity{QByteArray("bm"), QStringLiteral("inode-7"),
                                             QStringLiteral("volume-1"), QStringLiteral("/p"), std::nullopt,
                                             std::nullopt},
                                true);
    const LinkItem localOnly = add(webLink(QStringLiteral("local only")));
    const LinkItem deleted = add(webLink(QStringLiteral("deleted")));
    store.addRelation(shared.id, deleted.id);

    MorvaneLibraryExport document = importer.exportDocument(at("2024-06-01T12:00:00.000Z"));
    document.links.removeIf([&](const auto& record) { return record.id == localOnly.id; });
    for (auto& record : document.links) {
        if (record.id == shared.id) {
            record.title = QStringLiteral("Retitled");
            record.tags = {QStringLiteral("Fresh")};
            record.lastKnownPath.reset();
        }
    }
    const QString path = writeFile(QStringLiteral("backup.json"),
                                   MorvaneLibraryExport::makeJSONCoders().encoder.encode(document));
    store.deleteLink(deleted.id);
    const QString relationName = LinkRelation::recordName(shared.id, deleted.id);
    ASSERT_TRUE(store.isTombstoned(QStringLiteral("LinkRelation"), relationName));

    importer.importLibrary(path, false);
    EXPECT_TRUE(store.link(deleted.id).has_value());
    EXPECT_FALSE(store.isTombstoned(QStringLiteral("Link"), uuidString(deleted.id)));
    EXPECT_FALSE(store.isTombstoned(QStringLiteral("LinkRelation"), relationName));
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
    EXPECT_EQ(errorText([&] { importer.importLibrary(toNowhere, false); }),
              QStringLiteral("A relation in the file refers to a link that is neither in the file nor in "
                             "the library (") +
                  uuidString(nowhere) + QStringLiteral("). Nothing was imported."));
    EXPECT_TRUE(errorText([&] {
                    importer.importLibrary(toLocal, true);
                }).contains(QStringLiteral("not in the file (") + uuidString(local.id)));
    EXPECT_EQ(snapshot(), before);

    // A merge may relate the file's links to the library's; a relation to itself is skipped.
    EXPECT_EQ(importer.importLibrary(toLocal, false), (Counts{1, 1}));
    EXPECT_EQ(store.relatedLinks(local.id).size(), 1);
    EXPECT_EQ(importer.importLibrary(toItself, true), (Counts{1, 1}));
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
    store.deleteLink(add(webLink(QStringLiteral("gone"))).id);

    const QUuid x = QUuid::createUuid();
    const QUuid y = QUuid::createUuid();
    const QUuid sharedRelationID = QUuid::createUuid();
    const QUuid libraryRelationID = store.allRelations().constFirst().id;
    const QByteArray fileLinks = linkJson(x) + ',' + linkJson(y);
    struct Case {
        const char* name;
        QByteArray bytes;
        QList<bool> replacing{true, false};
    };
    const Case cases[] = {
        {"not JSON", "{\"formatVersion\":1,"},
        {"version 2", documentJson({linkJson(x)}, {}, 2)},
        {"a web link with a file address", documentJson({linkJson(x, "web", "file:///etc/passwd")}, {})},
        {"a relation to a missing link", documentJson({linkJson(x)}, {relationJson(x, QUuid::createUuid())})},
        {"one relation id for two pairs in the file",
         documentJson({fileLinks, linkJson(a.id, "web", "https://example.com/a")},
                      {relationJson(x, y, sharedRelationID), relationJson(x, a.id, sharedRelationID)})},
        // Only a merge keeps the library's relations for the file's to clash with.
        {"the id of the library's relation for another pair",
         documentJson({fileLinks}, {relationJson(x, y, libraryRelationID)}),
         {false}},
    };
    const QStringList before = snapshot();
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const QString path = writeFile(QStringLiteral("bad.json"), testCase.bytes);
        for (const bool replacing : testCase.replacing) {
            EXPECT_THROW(importer.importLibrary(path, replacing), Error);
            EXPECT_EQ(snapshot(), before);
        }
    }

    // A file that passes every check but that the database refuses after the erase.
    store.execute(QStringLiteral("CREATE TEMP TRIGGER refuse_relations BEFORE INSERT ON link_relations "
                                 "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const QString valid =
        writeFile(QStringLiteral("valid.json"), documentJson({fileLinks}, {relationJson(x, y)}));
    EXPECT_THROW(importer.importLibrary(valid, true), StoreError);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(LibraryImporterTest, ARelationIDMayRepeatOnlyForItsOwnPair)
{
    const LinkItem a = add(webLink(QStringLiteral("a")));
    const LinkItem b = add(webLink(QStringLiteral("b")));
    store.addRelation(a.id, b.id);
    const QUuid libraryRelationID = store.allRelations().constFirst().id;
    const QUuid x = QUuid::createUuid();
    const QUuid y = QUuid::createUuid();
    const QUuid z = QUuid::createUuid();
    const QUuid shared = QUuid::createUuid();
    const QList<QByteArray> fileLinks{linkJson(x), linkJson(y)};
    const auto file = [&](const char* name, const QList<QByteArray>& links,
                          const QList<QByteArray>& relations) {
        return writeFile(QString::fromLatin1(name), documentJson(links, relations));
    };

    // One pair in both directions, and a relation with itself that is never written, under one id.
    const QString repeats =
        file("repeats.json", fileLinks,
             {relationJson(x, y, shared), relationJson(y, x, shared), relationJson(x, x, shared)});
    EXPECT_EQ(importer.importLibrary(repeats, false), (Counts{2, 3}));
    // The library's own relation, turned round, under its own id.
    const QString libraryPair = file("library-pair.json", {}, {relationJson(b.id, a.id, libraryRelationID)});
    EXPECT_EQ(importer.importLibrary(libraryPair, false), (Counts{0, 1}));
    EXPECT_EQ(store.allRelations().size(), 2);

    const QString twoPairs =
        file("two-pairs.json", fileLinks, {relationJson(x, y, shared), relationJson(a.id, x, shared)});
    EXPECT_EQ(errorText([&] { importer.importLibrary(twoPairs, false); }),
              QStringLiteral("Two relations in the file share the id ") + uuidString(shared) +
                  QStringLiteral(". Nothing was imported."));
    const QString reusesLibrary =
        file("reuses.json", {linkJson(x), linkJson(z)}, {relationJson(z, x, libraryRelationID)});
    EXPECT_EQ(errorText([&] { importer.importLibrary(reusesLibrary, false); }),
              QStringLiteral("A relation in the file reuses the id ") + uuidString(libraryRelationID) +
                  QStringLiteral(" of another relation in the library. Nothing was imported."));

    // Replacing erases the library's relations first, so their ids are free again.
    EXPECT_EQ(importer.importLibrary(reusesLibrary, true), (Counts{2, 1}));
    const QList<LinkRelation> relations = store.allRelations();
    ASSERT_EQ(relations.size(), 1);
    EXPECT_EQ(relations.constFirst().id, libraryRelationID);
    EXPECT_EQ(LinkRelation::recordName(relations.constFirst().fromLinkID, relations.constFirst().toLinkID),
              LinkRelation::recordName(x, z));
}

TEST_F(LibraryImporterTest, UnreadableFilesOtherVersionsAndMismatchedAddressesAreRefusedWithTheirMessages)
{
    const QString version2 =
        writeFile(QStringLiteral("v2.json"), documentJson({linkJson(QUuid::createUuid())}, {}, 2));
    EXPECT_EQ(errorText([&] { importer.preview(version2); }),
              QStringLiteral("Unsupported Morvane export format version 2."));
    EXPECT_EQ(errorText([&] { importer.importLibrary(version2, false); }),
              QStringLiteral("Unsupported Morvane export format version 2."));

    const QString folder = homePath(QStringLiteral("a folder.json"));
    QDir().mkpath(folder);
    for (const QString& path : {homePath(QStringLiteral("missing.json")), folder})
        EXPECT_EQ(errorText([&] { importer.preview(path); }),
                  genericFileNotOpenedText(QFileInfo(path).fileName()));

    const QString mismatch =
        writeFile(QStringLiteral("mismatch.json"), documentJson({linkJson(QUuid::createUuid(), "mail")}, {}));
    EXPECT_EQ(errorText([&] { importer.preview(mismatch); }),
              QStringLiteral("The link “From file” in the file has an address that does not belong to its "
                             "type “mail”."));
}

} // namespace
