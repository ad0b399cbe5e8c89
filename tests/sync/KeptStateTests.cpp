// What sync keeps between passes in its compact forms: the folder listing's names, which must give the
// very file names the folder store writes, and the kept records as the library stores them, which must
// read back whole or not at all.
#include "TestValues.h"

#include "foundation/Uuid.h"
#include "sync/ChangedRecords.h"
#include "sync/HeldName.h"
#include "sync/KeptRecords.h"
#include "sync/RecordFileCodec.h"
#include "sync/RecordFormats.h"
#include "sync/RecordNames.h"
#include "sync/RecordVersions.h"
#include "sync/SyncCheckpoint.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <limits>
#include <random>

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

TEST(RecordNames, GiveTheFolderStoresFileNamesAndFindEveryName)
{
    // Names that need no encoding, and names whose dots, tildes, spaces or letters beyond ASCII do.
    QStringList names{"0A1B2C3D-0000-4000-8000-000000000001",
                      "A_B",
                      "Link_x:y/z",
                      "a.b",
                      "back~",
                      "library-reset-marker",
                      "über uns"};
    names.sort();
    const RecordNames listed(names);
    ASSERT_EQ(listed.size(), names.size());
    QByteArray buffer;
    for (qsizetype i = 0; i < names.size(); ++i) {
        EXPECT_EQ(listed.at(i), names[i]);
        EXPECT_EQ(QByteArray(listed.fileName(i, buffer)),
                  QFile::encodeName(RecordFileCodec::fileNameOf(names[i])))
            << names[i].toStdString();
        EXPECT_TRUE(listed.contains(names[i]));
        EXPECT_EQ(listed.upperBound(names[i]), i + 1);
    }
    EXPECT_FALSE(listed.contains("A_"));
    EXPECT_EQ(listed.upperBound(""), 0);
    EXPECT_FALSE(RecordNames().contains("A_B"));
}

TEST(RecordNames, ListedInAnyOrderAreSortedAsStringsAre)
{
    // UTF-8's order and UTF-16's part between a character from U+E000 and one beyond U+FFFF.
    QStringList names{"b", "a.b", "back~", "über uns", QString::fromUtf8("\uE000 private"),
                      QString::fromUtf8("\U0001F600 face"), "A_B", "0A1B2C3D-0000-4000-8000-000000000001",
                      QString::fromUtf8("\uFFFD"), QString::fromUtf8("\U0001F600"),
                      // Ids and pairs as records write them, held as their bytes, among texts nearly so.
                      "0A1B2C3D-0000-4000-8000-000000000001_0A1B2C3D-0000-4000-8000-0000000000A2",
                      "0A1B2C3D-0000-4000-8000-000000000001_0a1b2c3d-0000-4000-8000-0000000000a2",
                      "0A1B2C3D-0000-4000-8000-000000000001_", "0a1b2c3d-0000-4000-8000-000000000001",
                      "0A1B2C3D-0000-4000-8000-00000000000", "0A1B2C3D-0000-4000-8000-0000000000010",
                      "9FFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", "A0000000-0000-0000-0000-000000000000",
                      "A0000000-0000-0000-0000-000000000000_9FFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF",
                      "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", "00000000-0000-0000-0000-000000000000"};
    MappedArray<char> bytes;
    MappedArray<quint32> ends;
    for (const QString& name : names) {
        const QByteArray utf8 = name.toUtf8();
        bytes.append(utf8.constData(), std::size_t(utf8.size()));
        ends.push_back(quint32(bytes.size()));
    }
    const RecordNames listed(bytes, ends);
    names.sort();
    ASSERT_EQ(listed.size(), names.size());
    QByteArray buffer;
    for (qsizetype i = 0; i < names.size(); ++i) {
        EXPECT_EQ(listed.at(i), names[i]) << i;
        EXPECT_EQ(QByteArray(listed.fileName(i, buffer)),
                  QFile::encodeName(RecordFileCodec::fileNameOf(names[i])));
        EXPECT_EQ(listed.upperBound(names[i]), i + 1);
        EXPECT_EQ(listed.utf8(i, buffer), names[i].toUtf8());
        // Found a few names ahead of where a walk looks, and anywhere else.
        EXPECT_EQ(listed.find(HeldName::of(names[i]), std::max(i - 3, qsizetype(0))), i);
        EXPECT_EQ(listed.find(HeldName::of(names[i]), names.size() - i), i);
        for (qsizetype j = 0; j < names.size(); ++j) {
            EXPECT_EQ(RecordNames::compare(names[i].toUtf8(), names[j].toUtf8()) < 0, i < j)
                << names[i].toStdString() << " / " << names[j].toStdString();
        }
    }
}

// Kept records change a few at a time beside their sorted arrays and are taken in when a pass settles
// (or the changes grow many): through loading, many changes, removals and settling, every record reads
// back as kept, by its name and by the ids it names.
TEST(KeptRecords, ReadBackAsKeptThroughChangesAndSettling)
{
    std::mt19937 random(7);
    QList<QUuid> ids;
    for (int i = 0; i < 400; ++i)
        ids.append(QUuid::createUuid());
    const auto linkRecord = [](const QUuid& id, qint64 updatedAt) {
        LinkItem link;
        link.id = id;
        link.title = "t";
        link.updatedAt = QDateTime::fromMSecsSinceEpoch(updatedAt, Qt::UTC);
        return KeptRecord{KeptRecord::Type::link, LinkSummary::of(link)};
    };
    const auto relationRecord = [](const QUuid& from, const QUuid& to, qint64 createdAt) {
        return KeptRecord{
            KeptRecord::Type::relation,
            LinkRelation{QUuid::createUuid(), from, to,
                         createdAt ? QDateTime::fromMSecsSinceEpoch(createdAt, Qt::UTC) : QDateTime()}};
    };
    QHash<QString, KeptRecord> expected;
    KeptRecords kept;
    const auto keep = [&](const QString& name, const KeptRecord& record) {
        kept.keep(name, record);
        expected.insert(name, record);
    };
    const auto randomRelation = [&](qint64 createdAt) {
        const int first = int(random() % ids.size());
        const QUuid& from = ids[first];
        const QUuid& to = ids[(first + 1 + int(random() % (ids.size() - 1))) % ids.size()];
        const KeptRecord record = relationRecord(from, to, createdAt);
        return std::pair(RecordFormats::relationRecordName(std::get<LinkRelation>(record.value)), record);
    };
    const auto check = [&](const char* step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(kept.size(), expected.size());
        QStringList names = kept.names();
        QStringList expectedNames = expected.keys();
        names.sort();
        expectedNames.sort();
        ASSERT_EQ(names, expectedNames);
        for (auto record = expected.constBegin(); record != expected.constEnd(); ++record) {
            const std::optional<KeptRecord> found = kept.find(record.key());
            ASSERT_TRUE(found && *found == record.value()) << record.key().toStdString();
        }
        for (const QUuid& id : std::as_const(ids)) {
            QStringList at = kept.relationsAt(id);
            QStringList expectedAt;
            for (auto record = expected.constBegin(); record != expected.constEnd(); ++record) {
                const auto* relation = std::get_if<LinkRelation>(&record.value().value);
                if (relation && (relation->fromLinkID == id || relation->toLinkID == id))
                    expectedAt.append(record.key());
            }
            at.sort();
            expectedAt.sort();
            ASSERT_EQ(at, expectedAt);
        }
    };

    // Read back from the library: links, relations (one with no date), a deletion and a link kept under
    // another name than its own.
    for (int i = 0; i < 300; ++i) {
        const KeptRecord record = linkRecord(ids[i], 1000 + i);
        kept.load(uuidString(ids[i]), record);
        expected.insert(uuidString(ids[i]), record);
    }
    for (int i = 0; i < 150; ++i) {
        const auto [name, record] = randomRelation(i == 0 ? 0 : 5000 + i);
        if (expected.contains(name))
            continue;
        kept.load(name, record);
        expected.insert(name, record);
    }
    const KeptRecord deletion{KeptRecord::Type::deletion,
                              DeletedRecord{"Link", "Ä:b", at("2024-01-01T00:00:00.000Z")}};
    kept.load("Link-deleted", deletion);
    expected.insert("Link-deleted", deletion);
    kept.load("elsewhere", linkRecord(ids[0], 1));
    expected.insert("elsewhere", linkRecord(ids[0], 1));
    kept.loaded();
    check("loaded");

    // A pass's changes: new, changed and removed records, read before the pass settles and after.
    for (int i = 300; i < 400; ++i)
        keep(uuidString(ids[i]), linkRecord(ids[i], 2000 + i));
    for (int i = 0; i < 50; ++i)
        keep(uuidString(ids[i]), linkRecord(ids[i], 3000 + i));
    QStringList relations = expected.keys().filter("_");
    for (int i = 0; i < 40; ++i) {
        EXPECT_TRUE(kept.forget(relations[i]));
        expected.remove(relations[i]);
    }
    for (int i = 0; i < 20; ++i) {
        const auto [name, record] = randomRelation(9000 + i);
        keep(name, record);
    }
    EXPECT_TRUE(kept.forget(uuidString(ids[7])));
    expected.remove(uuidString(ids[7]));
    EXPECT_FALSE(kept.forget(uuidString(ids[7])));
    check("changed");
    kept.settle();
    check("settled");

    // More changes than are held beside the arrays at once.
    for (int round = 0; round < 12; ++round) {
        for (int i = 0; i < 400; ++i)
            keep(uuidString(ids[i]), linkRecord(ids[i], 10000 * round + i));
    }
    for (int i = 0; i < 400; i += 3) {
        kept.forget(uuidString(ids[i]));
        expected.remove(uuidString(ids[i]));
    }
    check("many changes");
    kept.settle();
    check("settled again");
}

TEST(RecordVersions, FindEachNameGivenInAnyOrder)
{
    RecordVersions versions;
    const QList<QByteArray> names{"c", "a", "b_long name", "\xc3\xbc", "ab"};
    for (const QByteArray& name : names)
        versions.append(name, "v:" + name);
    versions.sort();
    qsizetype hint = -1;
    for (const QByteArray name : {"a", "ab", "b_long name", "c", "\xc3\xbc"}) {
        const std::optional<qsizetype> found = versions.find(name, hint);
        ASSERT_TRUE(found) << name.constData();
        EXPECT_EQ(versions.name(*found), name);
        EXPECT_EQ(versions.version(*found), "v:" + name);
        hint = *found;
    }
    EXPECT_FALSE(versions.find("b"));
    EXPECT_FALSE(versions.find("", 2));
}

// The records a pass keeps come back under the very names they were added under, ids held as bytes or
// not: a name written in lower case, or nearly as an id, is a name of its own, never taken for the id.
TEST(ChangedRecords, GiveBackEachNameVersionAndKeptBytesAsAdded)
{
    const QString id = "0A1B2C3D-0000-4000-8000-00000000000F";
    const QString other = "0A1B2C3D-0000-4000-8000-0000000000A2";
    struct Added {
        QString name;
        bool keptByName;
        QByteArray keptLater; // given with keepBytesOfLast, when any
    };
    const QList<Added> added{{id, true, {}},
                             {id.toLower(), true, "lower"},
                             {id + "_" + other, false, {}},
                             {id + "_" + other.toLower(), true, "half lower"},
                             {id + "-" + other, true, {}},
                             {"{" + id.chopped(2) + "}", false, {}},
                             {"Link_" + id, false, {}},
                             {"", true, {}},
                             {"über uns", false, {}}};
    ChangedRecords records;
    for (const Added& record : added) {
        if (record.keptByName)
            records.appendKeptByName(record.name, "v:" + record.name.toUtf8());
        else
            records.append(record.name, "v:" + record.name.toUtf8(), "k:" + record.name.toUtf8());
    }
    // Kept bytes given later go to the last record under that very name only.
    for (const Added& record : added) {
        if (!record.keptLater.isEmpty())
            records.keepBytesOfLast(record.name, record.keptLater);
    }
    records.appendKeptByName(id, "again");
    records.keepBytesOfLast(id, "later");

    QList<LibrarySyncPoint::Record> given;
    records.forEach([&given](const LibrarySyncPoint::Record& record) { given.append(record); },
                    [](const QString& name) { return "by name:" + name.toUtf8(); });
    ASSERT_EQ(given.size(), added.size() + 1);
    for (qsizetype i = 0; i < added.size(); ++i) {
        const Added& record = added[i];
        SCOPED_TRACE(record.name.toStdString());
        EXPECT_EQ(given[i].name, record.name);
        EXPECT_EQ(given[i].version, "v:" + record.name.toUtf8());
        const QByteArray kept = !record.keptByName            ? "k:" + record.name.toUtf8()
                                : !record.keptLater.isEmpty() ? record.keptLater
                                                              : "by name:" + record.name.toUtf8();
        EXPECT_EQ(given[i].kept, kept);
    }
    EXPECT_EQ(given.last().name, id);
    EXPECT_EQ(given.last().version, "again");
    EXPECT_EQ(given.last().kept, "later");
}

// A complete answer's records refer to the names it is listed from where they are there: they come back
// as added, with versions of every shape, whether a record's name is listed, not listed, or listed twice.
TEST(ChangedRecords, GiveBackRecordsNamedFromTheirListingAsAdded)
{
    const QString id = "0A1B2C3D-0000-4000-8000-00000000000F";
    const QString other = "0A1B2C3D-0000-4000-8000-0000000000A2";
    QStringList listing{id, id + "_" + other, id.toLower(), other, "b", QString::fromUtf8("über uns"), "zz"};
    listing.sort();
    // Stamps with times far apart or equal, numbers negative or at either end, and versions that are no
    // stamp's size.
    std::mt19937_64 random(3);
    const auto stamp = [&random](qint64 modified, qint64 changed) {
        const std::array<qint64, 5> numbers{qint64(random() % 100000), modified, changed, qint64(random()),
                                            0100644};
        return QByteArray(reinterpret_cast<const char*>(numbers.data()), sizeof numbers);
    };
    const qint64 now = 1'765'000'000'000'000'000;
    struct Added {
        QString name;
        QByteArray version;
        QByteArray kept; // added by name when empty
    };
    const QList<Added> added{
        {listing[0], stamp(now, now), {}},
        {listing[2], stamp(now, now + 123'456), {}},
        {"not listed", stamp(now, now - 1), {}},
        {listing[3], stamp(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()), "k3"},
        {listing[4], QByteArray(), {}},
        {listing[5], "v", {}},
        {listing[6], stamp(-1, 0), {}},
        {listing[2], QByteArray(40, '\xff'), {}}};
    ChangedRecords records;
    records.listedIn(std::make_shared<const RecordNames>(listing));
    for (const Added& record : added) {
        if (record.kept.isEmpty())
            records.appendKeptByName(record.name, record.version);
        else
            records.append(record.name, record.version, record.kept);
    }
    records.keepBytesOfLast(listing[6], "later");

    QList<LibrarySyncPoint::Record> given;
    records.forEach([&given](const LibrarySyncPoint::Record& record) { given.append(record); },
                    [](const QString& name) { return "by name:" + name.toUtf8(); });
    ASSERT_EQ(given.size(), added.size());
    for (qsizetype i = 0; i < added.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(given[i].name, added[i].name);
        EXPECT_EQ(given[i].version, added[i].version);
        const QByteArray kept = !added[i].kept.isEmpty()      ? added[i].kept
                                : added[i].name == listing[6] ? "later"
                                                              : "by name:" + added[i].name.toUtf8();
        EXPECT_EQ(given[i].kept, kept);
    }
}

TEST(KeptRecord, ReadsBackWholeOrNotAtAll)
{
    LinkItem link;
    link.id = QUuid::createUuid();
    link.title = "kept";
    link.updatedAt = at("2025-03-04T05:06:07.890Z");
    link.fileSize = 12;
    const QList<KeptRecord> records = {
        {KeptRecord::Type::link, LinkSummary::of(link)},
        {KeptRecord::Type::relation, LinkRelation{QUuid::createUuid(), QUuid::createUuid(),
                                                  QUuid::createUuid(), at("2025-01-01T00:00:00.001Z")}},
        {KeptRecord::Type::deletion, DeletedRecord{"Link", "ÄB:c/d", at("2024-12-31T23:59:59.999Z")}},
        {KeptRecord::Type::relation, std::monostate()}, // a record that does not read
    };
    for (const KeptRecord& record : records) {
        const QByteArray bytes = record.toBytes();
        const std::optional<KeptRecord> read = KeptRecord::fromBytes(bytes);
        ASSERT_TRUE(read);
        EXPECT_TRUE(*read == record);
        EXPECT_FALSE(KeptRecord::fromBytes(bytes.chopped(1)));
        EXPECT_FALSE(KeptRecord::fromBytes(bytes + 'x'));
    }

    // A point whose kept records do not all read is no point: the pass after a start looks at everything.
    const LibrarySyncPoint::Point stored{"place", 1, 1};
    SyncCheckpoint::Loader whole;
    whole.add("A", "version", records[0].toBytes());
    EXPECT_TRUE(whole.finish(stored));
    SyncCheckpoint::Loader broken;
    broken.add("A", "version", records[0].toBytes());
    broken.add("B", "version", "not a kept record");
    EXPECT_FALSE(broken.finish(stored));
}

// The remote side tells which link and relation records were listed, readable or not, without the text
// of each name: a record under its own name is known by its link or pair, one under another name (or
// that does not read) by its name, and an own name is listed only when a record came under it.
TEST(SyncRemoteState, ListsTheNamesRecordsCameUnderAndReadsLinksAgainFromThem)
{
    const QUuid a = uuid("0A000000-0000-4000-8000-000000000001");
    const QUuid b = uuid("0B000000-0000-4000-8000-000000000002");
    const QUuid c = uuid("0C000000-0000-4000-8000-000000000003");
    const auto linkKept = [](const QUuid& id) {
        return KeptRecord{KeptRecord::Type::link, LinkSummary{id, 1, {}, 0}};
    };
    const auto relationKept = [](const QUuid& from, const QUuid& to) {
        return KeptRecord{KeptRecord::Type::relation,
                          LinkRelation{QUuid(), from, to, at("2024-05-01T09:30:12.345Z")}};
    };
    SyncRemoteState remote;
    remote.add(uuidString(a), linkKept(a));
    remote.add("copy-of-b", linkKept(b)); // b's own name never listed
    remote.add(uuidString(c).toLower(), linkKept(c));
    remote.add(uuidString(c), linkKept(c)); // listed under its own name after another
    remote.add(LinkRelation::recordName(b, a), relationKept(b, a));
    remote.add("renamed-pair", relationKept(a, c)); // the a-c pair's own name never listed
    remote.add(uuidString(uuid("0D000000-0000-4000-8000-000000000004")),
               KeptRecord{KeptRecord::Type::link, std::monostate()}); // does not read

    for (const QString& name : {uuidString(a), QString("copy-of-b"), uuidString(c), uuidString(c).toLower(),
                                LinkRelation::recordName(a, b), QString("renamed-pair"),
                                QString("0D000000-0000-4000-8000-000000000004")})
        EXPECT_TRUE(remote.listed(name)) << name.toStdString();
    for (const QString& name : {uuidString(b), uuidString(a).toLower(), LinkRelation::recordName(a, c),
                                LinkRelation::recordName(a, b).toLower(), QString("Link_") + uuidString(a)})
        EXPECT_FALSE(remote.listed(name)) << name.toStdString();

    EXPECT_EQ(remote.linkName(a), uuidString(a));
    EXPECT_EQ(remote.linkName(b), "copy-of-b");
    EXPECT_EQ(remote.linkName(c), uuidString(c)); // the later record of the link
    EXPECT_TRUE(remote.relationByPair(SyncRemoteState::pairOf({QUuid(), a, b, {}})));
    EXPECT_TRUE(remote.relationByPair(SyncRemoteState::pairOf({QUuid(), c, a, {}})));
    EXPECT_FALSE(remote.relationByPair(SyncRemoteState::pairOf({QUuid(), b, c, {}})));
    EXPECT_FALSE(remote.linkByID(uuid("0D000000-0000-4000-8000-000000000004")));
}

} // namespace
} // namespace morvane::test
