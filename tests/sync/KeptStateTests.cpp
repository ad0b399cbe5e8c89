// What sync keeps between passes in its compact forms: the folder listing's names, which must give the
// very file names the folder store writes, and the kept records as the library stores them, which must
// read back whole or not at all.
#include "TestValues.h"

#include "sync/KeptRecords.h"
#include "sync/RecordFileCodec.h"
#include "sync/RecordNames.h"
#include "sync/SyncCheckpoint.h"

#include <QFile>

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

} // namespace
} // namespace morvane::test
