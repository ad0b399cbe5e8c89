#include "foundation/UserDefaults.h"
#include "foundation/Uuid.h"
#include "model/CapturedContext.h"
#include "model/LibraryReset.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

const QUuid kId = *parseUuid(QStringLiteral("6F1C2D3E-4A5B-4C6D-8E7F-0123456789AB"));

LinkItem item(const QString& title, const QString& url)
{
    LinkItem link;
    link.id = kId;
    link.title = title;
    link.url = url;
    return link;
}

TEST(LinkItem, DisplayPathPrefersTheKnownPathThenTheFileUrl)
{
    LinkItem file = item(QStringLiteral("x"), QStringLiteral("file:///Users/a/My%20File.txt"));
    EXPECT_EQ(file.displayPath(), QStringLiteral("/Users/a/My File.txt"));
    file.lastKnownPath = QString();
    EXPECT_EQ(file.displayPath(), QStringLiteral("/Users/a/My File.txt"));
    file.lastKnownPath = QStringLiteral("/moved/here.txt");
    EXPECT_EQ(file.displayPath(), QStringLiteral("/moved/here.txt"));
    EXPECT_EQ(item(QStringLiteral("x"), QStringLiteral("https://a.com/b%20c")).displayPath(),
              QStringLiteral("https://a.com/b%20c"));
}

TEST(LinkItem, MarkdownLinkEscapesClosingBracketsAndNamesThePdfPage)
{
    struct Case { QString title; QString url; QString expected; };
    const QString target = QStringLiteral("](morvane://open/6F1C2D3E-4A5B-4C6D-8E7F-0123456789AB)");
    const Case cases[] = {
        {QStringLiteral("[a] b]"), QStringLiteral("https://x.com"), QStringLiteral("[[a\\] b\\]") + target},
        {QStringLiteral("Doc"), QStringLiteral("file:///a/Doc.pdf#page=3"), QStringLiteral("[Doc, p. 3") + target},
        {QStringLiteral("Doc"), QStringLiteral("file:///a/Doc.pdf"), QStringLiteral("[Doc") + target},
        {QStringLiteral("Doc"), QStringLiteral("https://a/Doc.pdf#page=3"), QStringLiteral("[Doc") + target},
    };
    for (const Case& c : cases)
        EXPECT_EQ(item(c.title, c.url).markdownLink(), c.expected);
}

TEST(LinkItem, EqualityCoversComputedAndOptionalFields)
{
    const LinkItem base = item(QStringLiteral("t"), QStringLiteral("https://a"));
    LinkItem counted = base;
    counted.linkedItemCount = 1;
    LinkItem opened = base;
    opened.lastOpenedAt = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    LinkItem tagged = base;
    tagged.tags = {QStringLiteral("a")};
    EXPECT_EQ(base, base);
    EXPECT_NE(base, counted);
    EXPECT_NE(base, opened);
    EXPECT_NE(base, tagged);
}

TEST(LinkType, RawValuesRoundTripAndOnlyFilesAndFoldersAreFileLike)
{
    const QStringList raws{QStringLiteral("file"), QStringLiteral("folder"), QStringLiteral("web"),
                           QStringLiteral("mail"), QStringLiteral("obsidian"), QStringLiteral("devonthink"),
                           QStringLiteral("calendar"), QStringLiteral("fantastical"), QStringLiteral("contact")};
    ASSERT_EQ(allLinkTypes().size(), raws.size());
    for (qsizetype i = 0; i < raws.size(); ++i) {
        EXPECT_EQ(rawValue(allLinkTypes()[i]), raws[i]);
        EXPECT_EQ(linkTypeFromRawValue(raws[i]), allLinkTypes()[i]);
        EXPECT_EQ(isFileLike(allLinkTypes()[i]), i < 2);
    }
    EXPECT_FALSE(linkTypeFromRawValue(QStringLiteral("File")));
    EXPECT_FALSE(linkTypeFromRawValue(QString()));
}

TEST(LinkRelation, RecordNameIsTheSameForEitherOrder)
{
    const QUuid a = *parseUuid(QStringLiteral("00000000-0000-0000-0000-00000000000A"));
    const QUuid b = *parseUuid(QStringLiteral("00000000-0000-0000-0000-00000000000b"));
    EXPECT_EQ(LinkRelation::recordName(a, b), LinkRelation::recordName(b, a));
    EXPECT_EQ(LinkRelation::recordName(b, a),
              QStringLiteral("00000000-0000-0000-0000-00000000000A_00000000-0000-0000-0000-00000000000B"));
}

TEST(LibraryReset, ShouldApplyComparesWithTheAcknowledgedReset)
{
    const QDateTime t0 = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);
    const LibraryReset acknowledged{QUuid::createUuid(), t0};
    struct Case { const char* what; LibraryReset remote; bool expected; };
    const Case cases[] = {
        {"same reset", acknowledged, false},
        {"later reset", {QUuid::createUuid(), t0.addMSecs(1)}, true},
        {"older reset", {QUuid::createUuid(), t0.addMSecs(-1)}, false},
        {"other reset, same instant", {QUuid::createUuid(), t0}, true},
        {"same id, later time", {acknowledged.resetID, t0.addSecs(5)}, true},
    };
    const auto defaults = UserDefaults::inMemory();
    EXPECT_TRUE(LibraryReset::shouldApply(acknowledged, *defaults)); // nothing acknowledged yet
    LibraryReset::saveAcknowledged(acknowledged, *defaults);
    EXPECT_EQ(LibraryReset::loadAcknowledged(*defaults), acknowledged);
    for (const Case& c : cases)
        EXPECT_EQ(LibraryReset::shouldApply(c.remote, *defaults), c.expected) << c.what;
}

TEST(LibraryReset, AMalformedAcknowledgementCountsAsNone)
{
    const auto defaults = UserDefaults::inMemory();
    defaults->setString(LibraryReset::resetIDKey, QStringLiteral("not a uuid"));
    defaults->setDate(LibraryReset::resetAtKey, QDateTime::currentDateTimeUtc());
    EXPECT_FALSE(LibraryReset::loadAcknowledged(*defaults));
    defaults->setString(LibraryReset::resetIDKey, uuidString(QUuid::createUuid()));
    defaults->setString(LibraryReset::resetAtKey, QStringLiteral("2024-05-01T09:30:12.345Z")); // not a date value
    EXPECT_FALSE(LibraryReset::loadAcknowledged(*defaults));
}

TEST(FileIdentity, MergedKeepsThePrimaryBookmarkAndPathAndFillsGaps)
{
    FileIdentity fresh{QByteArray("new"), std::nullopt, QStringLiteral("vol"), QStringLiteral("/new"), std::nullopt, 5};
    const FileIdentity stored{QByteArray("old"), QStringLiteral("res"), QStringLiteral("oldvol"), QStringLiteral("/old"),
                              QStringLiteral("hash"), 7};
    const FileIdentity merged = FileIdentity::merged(fresh, stored);
    EXPECT_EQ(merged, (FileIdentity{QByteArray("new"), QStringLiteral("res"), QStringLiteral("vol"), QStringLiteral("/new"),
                                    QStringLiteral("hash"), 5}));
    EXPECT_EQ(FileIdentity::merged(fresh, std::nullopt), fresh);
}

TEST(CapturedContext, TextsCompareByCanonicalEquivalence)
{
    const CapturedContext composed{QStringLiteral("Caf\u00e9"), QStringLiteral("file:///Caf\u00e9"), LinkType::file,
                                   QStringLiteral("Finder"), std::nullopt};
    CapturedContext decomposed = composed;
    decomposed.title = QStringLiteral("Cafe\u0301");
    decomposed.locator = QStringLiteral("file:///Cafe\u0301");
    EXPECT_EQ(composed, decomposed);
    decomposed.fileIdentity = FileIdentity{};
    EXPECT_FALSE(composed == decomposed);
    decomposed.fileIdentity.reset();
    decomposed.type = LinkType::folder;
    EXPECT_FALSE(composed == decomposed);
}

} // namespace
