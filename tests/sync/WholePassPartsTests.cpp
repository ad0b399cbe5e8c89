// A whole pass lists the records and reads the links it applies again a part at a time: whatever the
// part size, it must leave the library, the record folder and the sync tables as one read of
// everything does, and a read error while a type is listed must leave that type unapplied.
#include "SyncTestSupport.h"

#include "../library/StoreTestSupport.h"
#include "sync/FolderRecordStore.h"
#include "sync/RecordFormats.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace morvane::test {
namespace {

// A column's value as text. Masked: what names the folder's copy rather than its records (the folder's
// identity, the stamps of its files), a relation's id, which each read of its record makes anew, and the
// lineage each copy of the search texts is written with.
QByteArray maskedColumn(const QString& table, const QString& column, QByteArray value)
{
    if (column == "place" || column == "version" || column == "lineage")
        return value.isEmpty() ? "" : "*";
    if (table == "link_relations" && column == "id")
        return "*";
    if (column == "kept") {
        if (std::optional<KeptRecord> kept = KeptRecord::fromBytes(value)) {
            if (auto* relation = std::get_if<LinkRelation>(&kept->value))
                relation->id = QUuid();
            value = kept->toBytes();
        }
    }
    return value.toHex();
}

// Every row of every table of a closed library, as text, each table's rows sorted.
QStringList libraryRows(const QString& path)
{
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    const auto rowsOf = [db](const QString& table, const QString& sql) {
        QStringList rows;
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList columns;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const QString name = QString::fromUtf8(sqlite3_column_name(statement, i));
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, i));
                const QByteArray value(bytes, sqlite3_column_bytes(statement, i));
                columns.append(name + '=' + maskedColumn(table, name, value));
            }
            rows.append(columns.join(' '));
        }
        sqlite3_finalize(statement);
        return rows;
    };
    QStringList result;
    const QStringList tables = rowsOf(
        {},
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_stat%' ORDER BY name");
    for (const QString& row : tables) {
        const QString table = QString::fromUtf8(QByteArray::fromHex(row.section('=', 1).toLatin1()));
        QStringList rows = rowsOf(table, "SELECT * FROM \"" + table + "\"");
        rows.sort();
        result.append("table " + table);
        result += rows;
    }
    sqlite3_close(db);
    return result;
}

// Every file of the folder with its bytes; a record's change tag is new at each write, so it is masked.
QMap<QString, QByteArray> folderFiles(const QString& path)
{
    static const QRegularExpression changeTag(QStringLiteral("\"changeTag\": *\"[^\"]*\""));
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(path).entryList(QDir::Files))
        files.insert(name, QString::fromUtf8(contents(path + '/' + name)).replace(changeTag, "tag").toUtf8());
    return files;
}

QStringList folderLines(const QMap<QString, QByteArray>& files)
{
    QStringList lines;
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        lines.append(file.key() + ": " + QString::fromUtf8(*file));
    return lines;
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files | QDir::Hidden))
        ASSERT_TRUE(QFile::copy(from + '/' + name, to + '/' + name));
}

void copyLibrary(const QString& from, const QString& to)
{
    for (const char* suffix : {"", "-wal", "-shm"}) {
        if (QFile::exists(from + suffix)) {
            ASSERT_TRUE(QFile::copy(from + suffix, to + suffix));
        }
    }
}

// A library and a record store as a machine meets them at a whole pass: a service of its own, made
// with the part size, over a copy of each.
struct PassInParts {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<LinkStore> store;
    std::shared_ptr<RecordStoreSyncService> service;

    PassInParts(const QString& library, std::shared_ptr<RecordStore> records, qsizetype perPart)
        : store(std::make_unique<LinkStore>(LinkStore::libraryAt(library), makeIdentityService(), clock))
        , service(std::make_shared<RecordStoreSyncService>(
              std::move(records), UserDefaults::inMemory(), clock,
              [](std::chrono::milliseconds) { return noPause(); }, perPart))
    {
    }
    void sync() { await(service->sync(*store)); }
};

const qsizetype partSizes[] = {1, 2, 3, 7, 100'000};

class WholePassPartsTest : public ::testing::Test {
protected:
    QString folder = testHome() + "/records";
    QString library = testHome() + "/joining.sqlite";

    // A folder another machine filled (links, relations, a link and a relation deleted since, a link
    // record that does not read, a sync program's conflict copy), and a library of this machine's own
    // that shares links with it, older and newer, or an empty one when the machine is joining.
    void makeFolderAndLibrary(bool joining = false)
    {
        QDir().mkpath(folder);
        Machine other("other", std::make_shared<FolderRecordStore>(folder));
        QList<LinkItem> theirs;
        for (int i = 0; i < 12; ++i)
            theirs.append(other.add(makeLink(QStringLiteral("theirs %1").arg(i))));
        // Relation records sort among the link records by their names, some before the links they join.
        for (int i = 0; i + 1 < theirs.size(); i += 2)
            other.relate(theirs[i], theirs[i + 1]);
        other.relate(theirs[11], theirs[0]);
        other.sync();
        other.on([id = theirs[3].id](SQLiteStore& sqlite) { sqlite.writes().deleteLink(id); });
        other.on([&](SQLiteStore& sqlite) { sqlite.writes().removeRelation(theirs[4].id, theirs[5].id); });
        other.sync();

        const QString sample = folder + '/' + uuidString(theirs[6].id) + ".record";
        QFile::copy(sample,
                    folder + '/' + uuidString(theirs[6].id) + ".sync-conflict-20250101-120000.record");
        CloudRecord unreadable(RecordFormats::linkType, uuidString(QUuid::createUuid()));
        unreadable.set(QStringLiteral("title"), QStringLiteral("no url, no dates"));
        FolderRecordStore(folder).save(unreadable);

        Machine mine("mine", std::make_shared<FolderRecordStore>(testHome() + "/elsewhere"));
        if (joining) {
            mine.store.reset();
            copyLibrary(testHome() + "/mine.sqlite", library);
            return;
        }
        for (int i = 0; i < 5; ++i)
            mine.add(makeLink(QStringLiteral("mine %1").arg(i)));
        LinkItem older = theirs[1];
        older.title = "older here";
        older.updatedAt = at("2024-04-01T09:00:00.000Z");
        mine.add(older);
        LinkItem newer = theirs[2];
        newer.title = "newer here";
        newer.updatedAt = at("2024-06-01T09:00:00.000Z");
        mine.add(newer);
        LinkItem deletedThere = theirs[3];
        mine.add(deletedThere);
        mine.store.reset();
        copyLibrary(testHome() + "/mine.sqlite", library);
    }

    struct Outcome {
        QStringList library;
        QMap<QString, QByteArray> folder;
    };
    Outcome passWith(qsizetype perPart)
    {
        const QString records = testHome() + QStringLiteral("/records-%1").arg(++m_runs);
        const QString copy = testHome() + QStringLiteral("/library-%1.sqlite").arg(m_runs);
        copyFolder(folder, records);
        copyLibrary(library, copy);
        {
            PassInParts machine(copy, std::make_shared<FolderRecordStore>(records), perPart);
            machine.sync();
        }
        return {libraryRows(copy), folderFiles(records)};
    }
    // A pass in parts of each size leaves what the pass that read everything at once left.
    void expectEveryPartSizeLeaves(const Outcome& whole)
    {
        for (const qsizetype perPart : partSizes) {
            SCOPED_TRACE(perPart);
            const Outcome parts = passWith(perPart);
            EXPECT_EQ(parts.library, whole.library)
                << differences(parts.library, whole.library).toStdString();
            EXPECT_EQ(parts.folder, whole.folder)
                << differences(folderLines(parts.folder), folderLines(whole.folder)).toStdString();
        }
    }
    int m_runs = 0;
};

TEST_F(WholePassPartsTest, everyPartSizeLeavesWhatOneReadOfEverythingLeaves)
{
    makeFolderAndLibrary();
    const Outcome whole = passWith(100'000);
    // The pass did work of every kind: it took the other machine's links, kept its own newer copy, sent
    // its own links, and applied the deletion.
    EXPECT_TRUE(whole.library.join('\n').contains(QString::fromLatin1(QByteArray("theirs 7").toHex())));
    EXPECT_TRUE(whole.library.join('\n').contains(QString::fromLatin1(QByteArray("newer here").toHex())));
    EXPECT_FALSE(whole.library.join('\n').contains(QString::fromLatin1(QByteArray("older here").toHex())));
    EXPECT_FALSE(whole.library.join('\n').contains(QString::fromLatin1(QByteArray("theirs 3").toHex())));
    EXPECT_GT(whole.folder.size(), folderFiles(folder).size());
    expectEveryPartSizeLeaves(whole);
}

// A machine joining with an empty library takes every record in, in parts as in one read.
TEST_F(WholePassPartsTest, anEmptyLibraryJoiningLeavesWhatOneReadOfEverythingLeaves)
{
    makeFolderAndLibrary(true);
    const Outcome whole = passWith(100'000);
    const QString rows = whole.library.join('\n');
    EXPECT_TRUE(rows.contains(QString::fromLatin1(QByteArray("theirs 7").toHex())));
    EXPECT_TRUE(rows.contains(QString::fromLatin1(QByteArray("theirs 0").toHex())));
    EXPECT_FALSE(rows.contains(QString::fromLatin1(QByteArray("theirs 3").toHex())));
    EXPECT_EQ(whole.folder, folderFiles(folder)) << "a joining pass has nothing of its own to send";
    expectEveryPartSizeLeaves(whole);
}

// Through a store that does not track its changes, a whole pass lists each type a page at a time: a
// page that fails ends the pass with nothing of any type applied, and the next pass, whatever the page
// size, leaves what one read leaves.
TEST_F(WholePassPartsTest, aListingThatFailsMidwayAppliesNothingAndEveryPageSizeAgrees)
{
    QList<CloudRecord> records;
    {
        LinkItem first;
        for (int i = 0; i < 9; ++i) {
            const LinkItem link = makeLink(QStringLiteral("listed %1").arg(i));
            CloudRecord record(RecordFormats::linkType, RecordFormats::linkRecordName(link));
            RecordFormats::writeLinkFields(link, record);
            records.append(record);
            if (i == 0) {
                first = link;
            } else {
                const LinkRelation relation{QUuid::createUuid(), first.id, link.id,
                                            at("2024-05-02T00:00:00.000Z")};
                CloudRecord related(RecordFormats::relationType, RecordFormats::relationRecordName(relation));
                RecordFormats::writeRelationFields(relation, related);
                records.append(related);
            }
        }
        records.append(
            CloudRecord(RecordFormats::linkType, uuidString(QUuid::createUuid()))); // does not read
    }
    {
        Machine mine("mine", std::make_shared<InMemoryRecordStore>());
        mine.add(makeLink("mine"));
    }
    copyLibrary(testHome() + "/mine.sqlite", library);
    const auto passWithPages = [&](qsizetype perPart, bool failMidway) {
        static int run = 0;
        const QString copy = testHome() + QStringLiteral("/paged-%1.sqlite").arg(++run);
        copyLibrary(library, copy);
        auto cloud = std::make_shared<InMemoryRecordStore>();
        for (const CloudRecord& record : records)
            cloud->put(record);
        cloud->pageSize = 4;
        PassInParts machine(copy, cloud, perPart);
        if (failMidway) {
            cloud->fail(InMemoryRecordStore::Operation::query, RecordFormats::linkType,
                        CloudKitError(CloudKitError::internalError, "lost"), 1);
            EXPECT_THROW(machine.sync(), CloudKitError);
            EXPECT_TRUE(cloud->log().filter(QRegularExpression("^(save|remove) ")).isEmpty());
            EXPECT_EQ(test::titles(machine.store->allLinks().result()), QStringList{"mine"});
            EXPECT_TRUE(LinkStoreDatabase(*machine.store)
                            .run([](SQLiteStore& sqlite) { return sqlite.reads().allRelations(); })
                            .result()
                            .isEmpty());
        }
        machine.sync();
        QStringList titles = test::titles(machine.store->allLinks().result());
        titles.sort();
        machine.store.reset();
        return std::pair(titles, libraryRows(copy));
    };
    const auto whole = passWithPages(100'000, false);
    EXPECT_EQ(whole.first.size(), 10);
    for (const qsizetype perPart : partSizes) {
        SCOPED_TRACE(perPart);
        EXPECT_EQ(passWithPages(perPart, false), whole);
        EXPECT_EQ(passWithPages(perPart, true), whole);
    }
}

} // namespace
} // namespace morvane::test
