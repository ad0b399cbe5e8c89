#include "TestValues.h"

#include "sync/CloudKitSyncService.h"
#include "sync/RecordFormats.h"

#include <gtest/gtest.h>

// A namespace of this file's own: the names of the formats are taken in here, and not by the files
// built in one batch with it.
namespace morvane::test::record_formats {
namespace {

using namespace RecordFormats;

LinkItem fullLink()
{
    LinkItem link;
    link.id = uuid("0C5E3F4A-1B2C-4D5E-8F90-A1B2C3D4E5F6");
    link.title = "Report";
    link.url = "file:///home/u/Report.pdf";
    link.type = LinkType::file;
    link.sourceApp = "Files";
    link.notes = "draft";
    link.tags = {"q1", "work"};
    link.lastKnownPath = "/home/u/Report.pdf";
    link.contentHash = "ab12";
    link.fileSize = 5'000'000'000;
    link.createdAt = at("2024-05-01T09:30:12.345Z");
    link.updatedAt = at("2024-05-02T10:00:00.000Z");
    link.lastOpenedAt = at("2024-05-03T11:00:00.000Z");
    return link;
}

TEST(RecordFormats, everyTypeReadsBackWhatWasWritten)
{
    LinkItem link = fullLink();
    CloudRecord linkRecord(linkType, linkRecordName(link));
    writeLinkFields(link, linkRecord);
    EXPECT_EQ(linkItem(linkRecord), link);

    // Per-machine evidence and the computed count stay home.
    LinkItem local = link;
    local.bookmarkData = QByteArray("bookmark");
    local.fileResourceIdentifier = "inode";
    local.volumeIdentifier = "volume";
    local.linkedItemCount = 3;
    CloudRecord localRecord(linkType, linkRecordName(local));
    writeLinkFields(local, localRecord);
    EXPECT_TRUE(localRecord.sameContent(linkRecord));

    const LinkRelation relation{QUuid::createUuid(), uuid("BBBBBBBB-0000-4000-8000-000000000000"),
                                uuid("AAAAAAAA-0000-4000-8000-000000000000"), at("2024-05-01T00:00:00.001Z")};
    CloudRecord relationRecord(relationType, relationRecordName(relation));
    writeRelationFields(relation, relationRecord);
    const std::optional<LinkRelation> readRelation = linkRelation(relationRecord);
    ASSERT_TRUE(readRelation);
    EXPECT_EQ(readRelation->fromLinkID, relation.fromLinkID);
    EXPECT_EQ(readRelation->toLinkID, relation.toLinkID);
    EXPECT_EQ(readRelation->createdAt, relation.createdAt);
    EXPECT_FALSE(readRelation->id.isNull()); // the pair key is no UUID: a fresh one

    const DeletedRecord deleted{"LinkRelation",
                                LinkRelation::recordName(relation.fromLinkID, relation.toLinkID),
                                at("2024-06-01T00:00:00.000Z")};
    CloudRecord deletedRecordValue(deletedRecordType, tombstoneRecordName(deleted));
    writeDeletedRecordFields(deleted, deletedRecordValue);
    EXPECT_EQ(deletedRecord(deletedRecordValue), deleted);

    const LibraryReset reset{QUuid::createUuid(), at("2024-07-01T00:00:00.000Z")};
    CloudRecord resetRecord(libraryResetType, libraryResetName);
    writeLibraryResetFields(reset, resetRecord);
    EXPECT_EQ(libraryReset(resetRecord), reset);
}

TEST(RecordFormats, emptyTagsAndMissingValuesClearTheFieldsOfAnExistingRecord)
{
    CloudRecord record(linkType, linkRecordName(fullLink()));
    writeLinkFields(fullLink(), record);
    LinkItem bare = fullLink();
    bare.tags.clear();
    bare.lastKnownPath.reset();
    bare.contentHash.reset();
    bare.fileSize.reset();
    bare.lastOpenedAt.reset();
    writeLinkFields(bare, record);
    for (const char* cleared : {"tags", "lastKnownPath", "contentHash", "fileSize", "lastOpenedAt"})
        EXPECT_FALSE(record.fields().contains(cleared)) << cleared;
    EXPECT_EQ(linkItem(record), bare);
}

TEST(RecordFormats, readersRefuseRecordsWithoutTheirRequiredFields)
{
    const auto linkWith = [](const std::function<void(CloudRecord&)>& change,
                             QString name = "0C5E3F4A-1B2C-4D5E-8F90-A1B2C3D4E5F6") {
        CloudRecord record(linkType, std::move(name));
        writeLinkFields(fullLink(), record);
        change(record);
        return linkItem(record);
    };
    EXPECT_FALSE(linkWith([](CloudRecord&) {}, "not-a-uuid"));
    EXPECT_FALSE(linkWith([](CloudRecord& r) { r.set("type", QString("Web")); }));
    EXPECT_FALSE(linkWith([](CloudRecord& r) { r.clear("title"); }));
    EXPECT_FALSE(linkWith([](CloudRecord& r) { r.set("url", qint64(1)); }));
    EXPECT_FALSE(linkWith([](CloudRecord& r) { r.set("updatedAt", QString("2024-05-01T00:00:00.000Z")); }));
    // Optional fields of another type read as absent, and any number is a size.
    const auto lenient = linkWith([](CloudRecord& r) {
        r.set("notes", qint64(4));
        r.set("tags", QString("work"));
        r.set("fileSize", 1234.0);
    });
    ASSERT_TRUE(lenient);
    EXPECT_EQ(lenient->notes, "");
    EXPECT_TRUE(lenient->tags.isEmpty());
    EXPECT_EQ(lenient->fileSize, 1234);

    CloudRecord relation(relationType, "A_B");
    relation.set("fromLinkID", QString("AAAAAAAA-0000-4000-8000-000000000000"));
    relation.set("toLinkID", QString("not a uuid"));
    relation.set("createdAt", at("2024-05-01T00:00:00.000Z"));
    EXPECT_FALSE(linkRelation(relation));

    CloudRecord reset(libraryResetType, libraryResetName);
    reset.set("resetID", QString("{AAAAAAAA-0000-4000-8000-000000000000}"));
    reset.set("resetAt", at("2024-05-01T00:00:00.000Z"));
    EXPECT_FALSE(libraryReset(reset));
}

TEST(RecordFormats, namesAreStableForEitherDirectionAndSafeForTombstones)
{
    const QUuid a = uuid("aaaaaaaa-0000-4000-8000-000000000000");
    const QUuid b = uuid("BBBBBBBB-0000-4000-8000-000000000000");
    const QString pair = "AAAAAAAA-0000-4000-8000-000000000000_BBBBBBBB-0000-4000-8000-000000000000";
    EXPECT_EQ(relationRecordName({QUuid(), a, b, {}}), pair);
    EXPECT_EQ(relationRecordName({QUuid(), b, a, {}}), pair);
    EXPECT_EQ(tombstoneRecordName({"LinkRelation", pair, {}}), "LinkRelation_" + pair);
    EXPECT_EQ(tombstoneRecordName({"Link", "a:b/c", {}}), "Link_a_b_c");
}

// The text a link's digest is made from is kept between passes (in the digest): it stays the record's
// fields but the path, in name order, whatever field is set or left out.
QString sharedContentThroughRecord(const LinkItem& link)
{
    LinkItem shared = link;
    shared.lastKnownPath.reset();
    std::sort(shared.tags.begin(), shared.tags.end());
    CloudRecord record;
    writeLinkFields(shared, record);
    QString text;
    for (auto field = record.fields().constBegin(); field != record.fields().constEnd(); ++field) {
        text += field.key() + u'\x1f';
        if (const auto* string = std::get_if<QString>(&field.value()))
            text += u's' + *string;
        else if (const auto* date = std::get_if<QDateTime>(&field.value()))
            text += u'd' + libraryDateString(*date);
        else if (const auto* number = std::get_if<qint64>(&field.value()))
            text += u'i' + QString::number(*number);
        else if (const auto* list = std::get_if<QStringList>(&field.value()))
            text += u'l' + list->join(u'\x1d');
        text += u'\x1e';
    }
    return text;
}

TEST(RecordFormats, sharedContentIsTheRecordsFieldsButThePathInNameOrder)
{
    QList<LinkItem> links;
    const LinkItem full = fullLink();
    links.append(full);
    for (int leftOut = 0; leftOut < 16; ++leftOut) {
        LinkItem link = full;
        if (leftOut & 1)
            link.contentHash.reset();
        if (leftOut & 2)
            link.fileSize.reset();
        if (leftOut & 4)
            link.lastOpenedAt.reset();
        if (leftOut & 8)
            link.tags.clear();
        links.append(link);
    }
    LinkItem odd = full;
    odd.tags = {"zeta", "Alpha", "\u00e9t\u00e9", "alpha"};
    odd.title = QString::fromUtf8("\xf0\x9f\x94\x97 Caf\xc3\xa9");
    odd.notes.clear();
    odd.type = LinkType::calendar;
    odd.fileSize = -1;
    odd.createdAt = at("1969-12-31T23:59:59.999Z");
    odd.updatedAt = QDateTime();
    links.append(odd);
    for (const LinkItem& link : links)
        EXPECT_EQ(sharedContent(link), sharedContentThroughRecord(link));
}

// The erase's own report; the not-ready texts are checked where a pass ends with them.
TEST(SyncErrors, anEraseThatLeftRecordsSaysHowMany)
{
    EXPECT_EQ(EraseRemoteDataError(1, 0).localizedDescription(),
              "The shared record folder still has 1 link(s) and 0 relation(s) after erase. Try Sync Now or "
              "erase again in a moment.");
}

} // namespace
} // namespace morvane::test::record_formats
