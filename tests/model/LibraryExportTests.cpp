#include "TestValues.h"
#include "model/MorvaneLibraryExport.h"

#include <gtest/gtest.h>

using namespace morvane;
using Kind = MorvaneLibraryExportDecodingError::Kind;
using test::at;
using test::uuid;

namespace {

// A file link with every optional field, evidence of this machine included, and dates with fractions.
LinkItem fullFileLink()
{
    return {.id = uuid("11111111-2222-3333-4444-555555555555"),
            .title = "Café report / Q1 ☕",
            .url = "file:///home/me/Report%20Q1.pdf",
            .type = LinkType::file,
            .sourceApp = "Files",
            .notes = "Line one\nLine \"two\"",
            .tags = {"q1", "work/reports"},
            .linkedItemCount = 3,
            .bookmarkData = QByteArray("bookmark"),
            .fileResourceIdentifier = "inode:42",
            .volumeIdentifier = "volume",
            .lastKnownPath = "/home/me/Report Q1.pdf",
            .contentHash = "9f86d081",
            .fileSize = 5'000'000'000,
            .createdAt = at("2024-05-01T09:30:12.345Z"),
            .updatedAt = at("2024-05-02T10:00:00.999Z"),
            .lastOpenedAt = at("2024-05-03T11:15:30.001Z")};
}

LinkItem bareWebLink()
{
    LinkItem item;
    item.id = uuid("AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");
    item.title = "Example";
    item.url = "https://example.com/a?b=c";
    item.sourceApp = "Browser";
    item.createdAt = item.updatedAt = at("2024-01-01T00:00:00.000Z");
    return item;
}

const QUuid kRelationID = uuid("99999999-8888-7777-6666-555555555555");

const char* const kSampleBytes = R"json({
  "appName": "Morvane",
  "exportedAt": "2024-06-01T08:00:00Z",
  "formatVersion": 1,
  "links": [
    {
      "contentHash": "9f86d081",
      "createdAt": "2024-05-01T09:30:12Z",
      "fileSize": 5000000000,
      "id": "11111111-2222-3333-4444-555555555555",
      "lastKnownPath": "\/home\/me\/Report Q1.pdf",
      "lastOpenedAt": "2024-05-03T11:15:30Z",
      "notes": "Line one\nLine \"two\"",
      "sourceApp": "Files",
      "tags": [
        "q1",
        "work\/reports"
      ],
      "title": "Café report \/ Q1 ☕",
      "type": "file",
      "updatedAt": "2024-05-02T10:00:00Z",
      "url": "file:\/\/\/home\/me\/Report%20Q1.pdf"
    },
    {
      "createdAt": "2024-01-01T00:00:00Z",
      "id": "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE",
      "notes": "",
      "sourceApp": "Browser",
      "tags": [],
      "title": "Example",
      "type": "web",
      "updatedAt": "2024-01-01T00:00:00Z",
      "url": "https:\/\/example.com\/a?b=c"
    }
  ],
  "relations": [
    {
      "createdAt": "2024-05-04T12:00:00Z",
      "fromLinkID": "11111111-2222-3333-4444-555555555555",
      "id": "99999999-8888-7777-6666-555555555555",
      "toLinkID": "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE"
    }
  ]
})json";

// A hand-written document: unescaped slashes, keys in another order, offsets in dates, lower-case
// UUIDs, optional keys as null, and keys the format does not define at every level.
const QByteArray kLink = R"({"url": "https://example.com/a?b=c", "updatedAt": "2023-12-31T19:00:00-05:00",
    "type": "web", "title": "Example", "tags": ["a/b", "c"], "sourceApp": "Browser", "notes": "n",
    "lastKnownPath": null, "fileSize": 12, "lastOpenedAt": null, "id": "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee",
    "createdAt": "2024-01-01T00:00:00Z", "bookmarkData": "QUJD", "linkedItemCount": 7})";
const QByteArray kRelation = R"({"toLinkID": "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee",
    "createdAt": "2024-05-04T14:00:00+02:00", "fromLinkID": "11111111-2222-3333-4444-555555555555",
    "id": "99999999-8888-7777-6666-555555555555", "weight": [1, {"x": null}]})";

QByteArray document(const QByteArray& links, const QByteArray& relations)
{
    return R"({"relations": [)" + relations + R"(], "links": [)" + links +
           R"(], "formatVersion": 1, "exportedAt": "2024-06-01T10:00:00+02:00", "appName": "Something else",
           "comment": {"nested": [[], {}, "x/y", 1.5, true]}})";
}

// The one-link, one-relation document with the first occurrence of `from` replaced by `to`.
QByteArray variant(const QByteArray& from, const QByteArray& to)
{
    QByteArray text = document(kLink, kRelation);
    const qsizetype at = text.indexOf(from);
    return at < 0 ? QByteArray("missing: " + from) : text.replace(at, from.size(), to);
}

} // namespace

TEST(LibraryExportWriting, WritesSortedKeysEscapedSlashesWholeSecondsAndNoAbsentKeys)
{
    const MorvaneLibraryExport document(
        {fullFileLink(), bareWebLink()},
        {{kRelationID, fullFileLink().id, bareWebLink().id, at("2024-05-04T12:00:00.500Z")}},
        at("2024-06-01T08:00:00.750Z"));
    EXPECT_EQ(QString::fromUtf8(MorvaneLibraryExport::makeJSONCoders().encoder.encode(document)),
              QString::fromUtf8(kSampleBytes));
}

TEST(LibraryExportWriting, RefusesDatesTheDocumentCannotHold)
{
    const auto encoder = MorvaneLibraryExport::makeJSONCoders().encoder;
    LinkItem undated = bareWebLink();
    undated.updatedAt = QDateTime();
    EXPECT_THROW(encoder.encode(MorvaneLibraryExport({undated}, {}, at("2024-05-01T09:00:00.000Z"))), Error);
    LinkItem ancient = bareWebLink();
    ancient.lastOpenedAt = QDateTime(QDate(-20, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_THROW(encoder.encode(MorvaneLibraryExport({ancient}, {}, at("2024-05-01T09:00:00.000Z"))), Error);
}

TEST(LibraryExportReading, AcceptsHandWrittenDocumentsWithAByteOrderMark)
{
    const MorvaneLibraryExport read =
        MorvaneLibraryExport::readBackup("\xEF\xBB\xBF" + document(kLink, kRelation));
    EXPECT_EQ(read.appName, "Something else");
    EXPECT_EQ(read.exportedAt, at("2024-06-01T08:00:00.000Z"));
    LinkItem expected = bareWebLink();
    expected.notes = "n";
    expected.tags = {"a/b", "c"};
    expected.fileSize = 12;
    EXPECT_EQ(read.linkItems(), QList<LinkItem>{expected});
    EXPECT_EQ(read.linkRelations(), (QList<LinkRelation>{{kRelationID, fullFileLink().id, bareWebLink().id,
                                                          at("2024-05-04T12:00:00.000Z")}}));
}

TEST(LibraryExportReading, VersionIsCheckedOnlyAfterTheDocumentDecodes)
{
    // The import tests check the message of a version 2 document that decodes; one that does not
    // decode under this format reports the decoding error.
    QByteArray version2 = kSampleBytes;
    version2.replace("\"formatVersion\": 1", "\"formatVersion\": 2");
    EXPECT_THROW(MorvaneLibraryExport::readBackup(version2), MorvaneLibraryExportError);
    version2.replace("\"type\": \"web\"", "\"type\": \"hologram\"");
    EXPECT_THROW(MorvaneLibraryExport::readBackup(version2), MorvaneLibraryExportDecodingError);
}

TEST(LibraryExportReading, RefusesMalformedDocuments)
{
    struct Case {
        const char* name;
        QByteArray text;
        Kind kind;
        const char* path;
    };
    const QByteArray valid = document(kLink, kRelation);
    const QByteArray appName = R"("appName": "Something else")";
    const Case cases[] = {
        {"truncated", valid.chopped(1), Kind::invalidJSON, ""},
        {"ill-formed UTF-8", variant(R"("Example")", "\"\xC3\x28\""), Kind::invalidJSON, ""},
        {"missing appName", variant(", " + appName, ""), Kind::keyNotFound, "appName"},
        {"null appName", variant(appName, R"("appName": null)"), Kind::valueNotFound, "appName"},
        {"link as text", document(R"("x")", kRelation), Kind::typeMismatch, "links[0]"},
        {"exportedAt with fraction", variant("10:00:00+02:00", "10:00:00.5Z"), Kind::dataCorrupted,
         "exportedAt"},
        {"duplicate key in an ignored value", variant(appName, appName + R"(, "extra": {"a": 1, "a": 2})"),
         Kind::duplicateKey, "extra.a"},
        {"duplicate link key", variant(R"("Example")", R"("Example", "title": "U")"), Kind::duplicateKey,
         "links[0].title"},
        {"id not a UUID",
         variant(R"("id": "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee")", R"("id": "{aaaaaaaa-bbbb}")"),
         Kind::dataCorrupted, "links[0].id"},
        {"link type in other case", variant(R"("web")", R"("Web")"), Kind::dataCorrupted, "links[0].type"},
        {"tag as number", variant(R"(["a/b", "c"])", R"(["a", 5])"), Kind::typeMismatch, "links[0].tags[1]"},
        {"fileSize 2^63", variant("12,", "9223372036854775808,"), Kind::numberOutOfRange,
         "links[0].fileSize"},
        {"fileSize beyond 2^64", variant("12,", "99999999999999999999999,"), Kind::numberOutOfRange,
         "links[0].fileSize"},
        {"deep nesting",
         variant(appName, appName + ", \"extra\": " + QByteArray(600, '[') + QByteArray(600, ']')),
         Kind::nestingTooDeep, ""},
    };

    const auto decoder = MorvaneLibraryExport::makeJSONCoders().decoder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto error =
            test::thrownError<MorvaneLibraryExportDecodingError>([&] { decoder.decode(c.text); });
        ASSERT_TRUE(error) << "decoded";
        EXPECT_EQ(error->kind(), c.kind) << error->detail().toStdString();
        if (c.kind != Kind::invalidJSON && c.kind != Kind::nestingTooDeep) {
            EXPECT_EQ(error->codingPath(), QString::fromLatin1(c.path));
        }
        EXPECT_EQ(error->localizedDescription(), genericDataFormatText());
    }
}
