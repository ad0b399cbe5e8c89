#include "model/MorvaneLibraryExport.h"

#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

#include <utility>

using namespace morvane;
using Kind = MorvaneLibraryExportDecodingError::Kind;

namespace {

QDateTime date(const char* libraryText)
{
    return *parseLibraryDate(QString::fromLatin1(libraryText));
}

QUuid uuid(const char* text)
{
    return *parseUuid(QString::fromLatin1(text));
}

// A file link with every optional field, evidence of this machine included, and dates with fractions.
LinkItem fullFileLink()
{
    LinkItem item;
    item.id = uuid("11111111-2222-3333-4444-555555555555");
    item.title = QStringLiteral("Café report / Q1 ☕");
    item.url = QStringLiteral("file:///home/me/Report%20Q1.pdf");
    item.type = LinkType::file;
    item.sourceApp = QStringLiteral("Files");
    item.notes = QStringLiteral("Line one\nLine \"two\"");
    item.tags = {QStringLiteral("q1"), QStringLiteral("work/reports")};
    item.linkedItemCount = 3;
    item.bookmarkData = QByteArray("bookmark");
    item.fileResourceIdentifier = QStringLiteral("inode:42");
    item.volumeIdentifier = QStringLiteral("volume");
    item.lastKnownPath = QStringLiteral("/home/me/Report Q1.pdf");
    item.contentHash = QStringLiteral("9f86d081");
    item.fileSize = 5'000'000'000;
    item.createdAt = date("2024-05-01T09:30:12.345Z");
    item.updatedAt = date("2024-05-02T10:00:00.999Z");
    item.lastOpenedAt = date("2024-05-03T11:15:30.001Z");
    return item;
}

LinkItem bareWebLink()
{
    LinkItem item;
    item.id = uuid("AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");
    item.title = QStringLiteral("Example");
    item.url = QStringLiteral("https://example.com/a?b=c");
    item.type = LinkType::web;
    item.sourceApp = QStringLiteral("Browser");
    item.createdAt = date("2024-01-01T00:00:00.000Z");
    item.updatedAt = date("2024-01-01T00:00:00.000Z");
    return item;
}

LinkRelation relation()
{
    return LinkRelation{uuid("99999999-8888-7777-6666-555555555555"), fullFileLink().id, bareWebLink().id,
                        date("2024-05-04T12:00:00.500Z")};
}

MorvaneLibraryExport sampleDocument()
{
    return MorvaneLibraryExport({fullFileLink(), bareWebLink()}, {relation()},
                                date("2024-06-01T08:00:00.750Z"));
}

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

LinkItem asImported(LinkItem item)
{
    item.linkedItemCount = 0;
    item.bookmarkData.reset();
    item.fileResourceIdentifier.reset();
    item.volumeIdentifier.reset();
    item.createdAt = wholeSeconds(item.createdAt);
    item.updatedAt = wholeSeconds(item.updatedAt);
    if (item.lastOpenedAt)
        item.lastOpenedAt = wholeSeconds(*item.lastOpenedAt);
    return item;
}

} // namespace

TEST(LibraryExportWriting, WritesSortedKeysEscapedSlashesWholeSecondsAndNoAbsentKeys)
{
    const QByteArray bytes = MorvaneLibraryExport::makeJSONCoders().encoder.encode(sampleDocument());
    EXPECT_EQ(QString::fromUtf8(bytes), QString::fromUtf8(kSampleBytes));
    EXPECT_FALSE(bytes.contains("null"));
}

TEST(LibraryExportWriting, EmptyLibraryWritesEmptyArrays)
{
    const QByteArray bytes = MorvaneLibraryExport::makeJSONCoders().encoder.encode(
        MorvaneLibraryExport({}, {}, date("2024-06-01T08:00:00.000Z")));
    EXPECT_EQ(bytes, QByteArray(R"json({
  "appName": "Morvane",
  "exportedAt": "2024-06-01T08:00:00Z",
  "formatVersion": 1,
  "links": [],
  "relations": []
})json"));
    const MorvaneLibraryExport read = MorvaneLibraryExport::readBackup(bytes);
    EXPECT_TRUE(read.links.isEmpty());
    EXPECT_TRUE(read.relations.isEmpty());
}

TEST(LibraryExportWriting, RefusesDatesTheDocumentCannotHold)
{
    const auto encoder = MorvaneLibraryExport::makeJSONCoders().encoder;
    LinkItem undated = bareWebLink();
    undated.updatedAt = QDateTime();
    EXPECT_THROW(encoder.encode(MorvaneLibraryExport({undated}, {}, currentDate())), Error);

    LinkItem ancient = bareWebLink();
    ancient.lastOpenedAt = QDateTime(QDate(-20, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_THROW(encoder.encode(MorvaneLibraryExport({ancient}, {}, currentDate())), Error);
}

TEST(LibraryExportReading, RoundTripKeepsEverythingButLocalEvidenceAndFractions)
{
    const MorvaneLibraryExport written = sampleDocument();
    const auto coders = MorvaneLibraryExport::makeJSONCoders();
    const MorvaneLibraryExport read = MorvaneLibraryExport::readBackup(coders.encoder.encode(written));

    EXPECT_EQ(read.formatVersion, 1);
    EXPECT_EQ(read.appName, QStringLiteral("Morvane"));
    EXPECT_EQ(read.exportedAt, date("2024-06-01T08:00:00.000Z"));
    const QList<LinkItem> expectedItems{asImported(fullFileLink()), asImported(bareWebLink())};
    EXPECT_EQ(read.linkItems(), expectedItems);
    LinkRelation expectedRelation = relation();
    expectedRelation.createdAt = wholeSeconds(expectedRelation.createdAt);
    EXPECT_EQ(read.linkRelations(), QList<LinkRelation>{expectedRelation});

    // A second trip changes nothing: the written form is stable.
    EXPECT_EQ(coders.encoder.encode(read), coders.encoder.encode(written));
}

TEST(LibraryExportReading, AcceptsHandWrittenDocuments)
{
    // Unescaped slashes, keys in another order, offsets in dates, lower-case UUIDs, optional keys as
    // null, a UTF-8 byte order mark and keys the format does not define at every level.
    const QByteArray text = "\xEF\xBB\xBF"
                            R"json({
      "relations": [{"toLinkID": "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee", "createdAt": "2024-05-04T14:00:00+02:00",
                     "fromLinkID": "11111111-2222-3333-4444-555555555555",
                     "id": "99999999-8888-7777-6666-555555555555", "weight": [1, {"x": null}]}],
      "links": [{"url": "https://example.com/a?b=c", "updatedAt": "2023-12-31T19:00:00-05:00",
                 "type": "web", "title": "Example", "tags": ["a/b", "c"], "sourceApp": "Browser",
                 "notes": "n", "lastKnownPath": null, "contentHash": null, "fileSize": null,
                 "lastOpenedAt": null, "id": "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee",
                 "createdAt": "2024-01-01T00:00:00Z", "bookmarkData": "QUJD", "linkedItemCount": 7}],
      "formatVersion": 1, "exportedAt": "2024-06-01T10:00:00+02:00", "appName": "Something else",
      "comment": {"nested": [[], {}, "x/y", 1.5, true]}
    })json";

    const MorvaneLibraryExport read = MorvaneLibraryExport::readBackup(text);
    EXPECT_EQ(read.appName, QStringLiteral("Something else"));
    EXPECT_EQ(read.exportedAt, date("2024-06-01T08:00:00.000Z"));
    ASSERT_EQ(read.links.size(), 1);
    LinkItem expected = bareWebLink();
    expected.notes = QStringLiteral("n");
    expected.tags = {QStringLiteral("a/b"), QStringLiteral("c")};
    EXPECT_EQ(read.links.first().linkItem(), expected);
    ASSERT_EQ(read.relations.size(), 1);
    EXPECT_EQ(read.relations.first().linkRelation(),
              (LinkRelation{relation().id, relation().fromLinkID, relation().toLinkID,
                            date("2024-05-04T12:00:00.000Z")}));
}

TEST(LibraryExportReading, VersionIsCheckedOnlyAfterTheDocumentDecodes)
{
    QByteArray version2 = kSampleBytes;
    version2.replace("\"formatVersion\": 1", "\"formatVersion\": 2");
    const MorvaneLibraryExport decoded = MorvaneLibraryExport::makeJSONCoders().decoder.decode(version2);
    EXPECT_EQ(decoded.formatVersion, 2);
    try {
        MorvaneLibraryExport::readBackup(version2);
        FAIL() << "version 2 was read";
    } catch (const MorvaneLibraryExportError& error) {
        EXPECT_EQ(error.kind(), MorvaneLibraryExportError::Kind::unsupportedFormatVersion);
        EXPECT_EQ(error.version(), 2);
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("Unsupported Morvane export format version 2."));
    }

    // A version 2 document that does not decode under this format reports the decoding error.
    QByteArray undecodable = version2;
    undecodable.replace("\"type\": \"web\"", "\"type\": \"hologram\"");
    EXPECT_THROW(MorvaneLibraryExport::readBackup(undecodable), MorvaneLibraryExportDecodingError);
}

namespace {

using Members = QList<std::pair<QByteArray, QByteArray>>;

Members documentMembers(const QByteArray& link, const QByteArray& relation)
{
    return {{"formatVersion", "1"},
            {"appName", "\"Morvane\""},
            {"exportedAt", "\"2024-06-01T08:00:00Z\""},
            {"links", "[" + link + "]"},
            {"relations", "[" + relation + "]"}};
}

Members linkMembers()
{
    return {{"id", "\"11111111-2222-3333-4444-555555555555\""},
            {"title", "\"T\""},
            {"url", "\"https://example.com\""},
            {"type", "\"web\""},
            {"sourceApp", "\"Browser\""},
            {"notes", "\"\""},
            {"tags", "[\"a\"]"},
            {"fileSize", "12"},
            {"createdAt", "\"2024-05-01T09:30:12Z\""},
            {"updatedAt", "\"2024-05-01T09:30:12Z\""}};
}

Members relationMembers()
{
    return {{"id", "\"99999999-8888-7777-6666-555555555555\""},
            {"fromLinkID", "\"11111111-2222-3333-4444-555555555555\""},
            {"toLinkID", "\"AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE\""},
            {"createdAt", "\"2024-05-04T12:00:00Z\""}};
}

// Replaces the member's value, removes the member when the value is empty, or appends the member.
Members with(Members members, const QByteArray& key, const QByteArray& value)
{
    for (qsizetype i = 0; i < members.size(); ++i) {
        if (members[i].first == key) {
            if (value.isEmpty())
                members.removeAt(i);
            else
                members[i].second = value;
            return members;
        }
    }
    members.append({key, value});
    return members;
}

Members appended(Members members, const QByteArray& key, const QByteArray& value)
{
    members.append({key, value});
    return members;
}

QByteArray object(const Members& members)
{
    QByteArray text = "{";
    for (const auto& [key, value] : members)
        text += (text.size() > 1 ? ", \"" : "\"") + key + "\": " + value;
    return text + "}";
}

QByteArray withDocument(const QByteArray& key, const QByteArray& value)
{
    return object(with(documentMembers(object(linkMembers()), object(relationMembers())), key, value));
}

QByteArray withLink(const QByteArray& key, const QByteArray& value)
{
    return object(documentMembers(object(with(linkMembers(), key, value)), object(relationMembers())));
}

QByteArray withRelation(const QByteArray& key, const QByteArray& value)
{
    return object(documentMembers(object(linkMembers()), object(with(relationMembers(), key, value))));
}

struct MalformedCase {
    const char* name;
    QByteArray text;
    Kind kind;
    const char* path;
};

} // namespace

TEST(LibraryExportReading, TheTemplateOfTheMalformedCasesIsValid)
{
    EXPECT_NO_THROW(MorvaneLibraryExport::readBackup(withDocument("appName", "\"Morvane\"")));
}

TEST(LibraryExportReading, RefusesMalformedDocuments)
{
    const QByteArray deep = QByteArray(600, '[') + QByteArray(600, ']');
    const MalformedCase cases[] = {
        {"empty file", "", Kind::invalidJSON, ""},
        {"truncated", withDocument("appName", "\"Morvane\"").chopped(1), Kind::invalidJSON, ""},
        {"trailing text", withDocument("appName", "\"Morvane\"") + " x", Kind::invalidJSON, ""},
        {"comment", "// backup\n" + withDocument("appName", "\"Morvane\""), Kind::invalidJSON, ""},
        {"ill-formed UTF-8", withLink("title", "\"\xC3\x28\""), Kind::invalidJSON, ""},
        {"lone surrogate", withLink("title", "\"\\uD800\""), Kind::invalidJSON, ""},
        {"array document", "[]", Kind::typeMismatch, ""},
        {"null document", "null", Kind::valueNotFound, ""},
        {"version as text", withDocument("formatVersion", "\"1\""), Kind::typeMismatch, "formatVersion"},
        {"version with fraction", withDocument("formatVersion", "1.0"), Kind::typeMismatch, "formatVersion"},
        {"version 2^63", withDocument("formatVersion", "9223372036854775808"), Kind::numberOutOfRange,
         "formatVersion"},
        {"missing appName", withDocument("appName", ""), Kind::keyNotFound, "appName"},
        {"null appName", withDocument("appName", "null"), Kind::valueNotFound, "appName"},
        {"missing relations", withDocument("relations", ""), Kind::keyNotFound, "relations"},
        {"links as object", withDocument("links", "{}"), Kind::typeMismatch, "links"},
        {"link as text", withDocument("links", "[\"x\"]"), Kind::typeMismatch, "links[0]"},
        {"exportedAt with fraction", withDocument("exportedAt", "\"2024-06-01T08:00:00.5Z\""),
         Kind::dataCorrupted, "exportedAt"},
        {"duplicate document key",
         object(appended(documentMembers(object(linkMembers()), object(relationMembers())), "appName",
                         "\"Other\"")),
         Kind::duplicateKey, "appName"},
        {"duplicate unknown key",
         withDocument("links", "[" + object(appended(with(linkMembers(), "extra", "1"), "extra", "2")) + "]"),
         Kind::duplicateKey, "links[0].extra"},
        {"duplicate key in an ignored value", withDocument("extra", "{\"a\": 1, \"a\": 2}"),
         Kind::duplicateKey, "extra.a"},
        {"duplicate link key",
         withDocument("links", "[" + object(appended(linkMembers(), "title", "\"U\"")) + "]"),
         Kind::duplicateKey, "links[0].title"},
        {"id not a UUID", withLink("id", "\"{11111111-2222-3333-4444-555555555555}\""), Kind::dataCorrupted,
         "links[0].id"},
        {"id as number", withLink("id", "12"), Kind::typeMismatch, "links[0].id"},
        {"missing title", withLink("title", ""), Kind::keyNotFound, "links[0].title"},
        {"notes as boolean", withLink("notes", "false"), Kind::typeMismatch, "links[0].notes"},
        {"unknown link type", withLink("type", "\"webpage\""), Kind::dataCorrupted, "links[0].type"},
        {"link type in other case", withLink("type", "\"Web\""), Kind::dataCorrupted, "links[0].type"},
        {"tag as number", withLink("tags", "[\"a\", 5]"), Kind::typeMismatch, "links[0].tags[1]"},
        {"null tags", withLink("tags", "null"), Kind::valueNotFound, "links[0].tags"},
        {"fileSize 2^63", withLink("fileSize", "9223372036854775808"), Kind::numberOutOfRange,
         "links[0].fileSize"},
        {"fileSize beyond 2^64", withLink("fileSize", "99999999999999999999999"), Kind::numberOutOfRange,
         "links[0].fileSize"},
        {"fileSize with exponent", withLink("fileSize", "1e3"), Kind::typeMismatch, "links[0].fileSize"},
        {"fileSize as text", withLink("fileSize", "\"12\""), Kind::typeMismatch, "links[0].fileSize"},
        {"createdAt without time", withLink("createdAt", "\"2024-05-01\""), Kind::dataCorrupted,
         "links[0].createdAt"},
        {"createdAt as number", withLink("createdAt", "1714555812"), Kind::typeMismatch,
         "links[0].createdAt"},
        {"optional date not a date", withLink("lastOpenedAt", "\"yesterday\""), Kind::dataCorrupted,
         "links[0].lastOpenedAt"},
        {"relation end not a UUID", withRelation("fromLinkID", "\"A\""), Kind::dataCorrupted,
         "relations[0].fromLinkID"},
        {"relation without date", withRelation("createdAt", ""), Kind::keyNotFound, "relations[0].createdAt"},
        {"deep nesting", withDocument("extra", deep), Kind::nestingTooDeep, ""},
    };

    const auto decoder = MorvaneLibraryExport::makeJSONCoders().decoder;
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            decoder.decode(c.text);
            ADD_FAILURE() << "decoded";
        } catch (const MorvaneLibraryExportDecodingError& error) {
            EXPECT_EQ(error.kind(), c.kind) << error.detail().toStdString();
            if (c.kind != Kind::invalidJSON && c.kind != Kind::nestingTooDeep) {
                EXPECT_EQ(error.codingPath(), QString::fromLatin1(c.path));
            }
            EXPECT_EQ(error.localizedDescription(), genericDataFormatText());
        }
    }
}

TEST(LibraryExportReading, RefusesMoreRecordsThanTheLimitInAll)
{
    auto decoder = MorvaneLibraryExport::makeJSONCoders().decoder;
    EXPECT_EQ(decoder.maximumRecordCount, 1'000'000);
    decoder.maximumRecordCount = 3;

    const auto records = [](const QByteArray& record, int count) {
        QByteArray text = "[";
        for (int i = 0; i < count; ++i)
            text += (i == 0 ? "" : ",") + record;
        return text + "]";
    };
    const auto document = [&](int linkCount, int relationCount) {
        return object(with(with(documentMembers({}, {}), "links", records(object(linkMembers()), linkCount)),
                           "relations", records(object(relationMembers()), relationCount)));
    };

    EXPECT_EQ(decoder.decode(document(2, 1)).relations.size(), 1);
    for (const auto& [links, relations] : {std::pair{2, 2}, std::pair{4, 0}, std::pair{0, 4}}) {
        SCOPED_TRACE(testing::Message() << links << " links, " << relations << " relations");
        try {
            decoder.decode(document(links, relations));
            ADD_FAILURE() << "decoded";
        } catch (const MorvaneLibraryExportDecodingError& error) {
            EXPECT_EQ(error.kind(), Kind::tooManyRecords);
            EXPECT_EQ(error.localizedDescription(),
                      QStringLiteral("The backup holds more than 3 links and relations."));
        }
    }
}
