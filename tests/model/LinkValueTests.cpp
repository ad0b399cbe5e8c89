#include "foundation/UserDefaults.h"
#include "foundation/Uuid.h"
#include "model/CapturedContext.h"
#include "model/LibraryReset.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

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
    LinkItem file = item("x", "file:///Users/a/My%20File.txt");
    EXPECT_EQ(file.displayPath(), "/Users/a/My File.txt");
    file.lastKnownPath = QString();
    EXPECT_EQ(file.displayPath(), "/Users/a/My File.txt");
    file.lastKnownPath = QStringLiteral("/moved/here.txt");
    EXPECT_EQ(file.displayPath(), "/moved/here.txt");
    EXPECT_EQ(item("x", "https://a.com/b%20c").displayPath(), "https://a.com/b%20c");
}

TEST(LinkItem, MarkdownLinkEscapesClosingBracketsAndNamesThePdfPage)
{
    const QString target = QStringLiteral("](morvane://open/6F1C2D3E-4A5B-4C6D-8E7F-0123456789AB)");
    const std::array<QString, 3> cases[] = {
        // title, url, link
        {"[a] b]", "https://x.com", "[[a\\] b\\]" + target},
        {"Doc", "file:///a/Doc.pdf#page=3", "[Doc, p. 3" + target},
        {"Doc", "file:///a/Doc.pdf", "[Doc" + target},
        {"Doc", "https://a/Doc.pdf#page=3", "[Doc" + target},
    };
    for (const auto& [title, url, expected] : cases)
        EXPECT_EQ(item(title, url).markdownLink(), expected);
}

TEST(LinkItem, EqualityCoversComputedAndOptionalFields)
{
    const LinkItem base = item("t", "https://a");
    LinkItem changed[] = {base, base, base};
    changed[0].linkedItemCount = 1;
    changed[1].lastOpenedAt = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    changed[2].tags = {QStringLiteral("a")};
    EXPECT_EQ(base, LinkItem(base));
    for (const LinkItem& other : changed)
        EXPECT_NE(base, other);
}

TEST(LinkType, RawValuesRoundTripAndOnlyFilesAndFoldersAreFileLike)
{
    const QStringList raws{"file",       "folder",   "web",         "mail",   "obsidian",
                           "devonthink", "calendar", "fantastical", "contact"};
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
    const std::tuple<const char*, LibraryReset, bool> cases[] = {
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
    for (const auto& [what, remote, expected] : cases)
        EXPECT_EQ(LibraryReset::shouldApply(remote, *defaults), expected) << what;
}

TEST(LibraryReset, AMalformedAcknowledgementCountsAsNone)
{
    const auto defaults = UserDefaults::inMemory();
    defaults->setString(LibraryReset::resetIDKey, QStringLiteral("not a uuid"));
    defaults->setDate(LibraryReset::resetAtKey, QDateTime::currentDateTimeUtc());
    EXPECT_FALSE(LibraryReset::loadAcknowledged(*defaults));
    defaults->setString(LibraryReset::resetIDKey, uuidString(QUuid::createUuid()));
    // A text where a date value belongs.
    defaults->setString(LibraryReset::resetAtKey, QStringLiteral("2024-05-01T09:30:12.345Z"));
    EXPECT_FALSE(LibraryReset::loadAcknowledged(*defaults));
}

TEST(FileIdentity, MergedKeepsThePrimaryBookmarkAndPathAndFillsGaps)
{
    const FileIdentity fresh{QByteArray("new"), std::nullopt, "vol", "/new", std::nullopt, 5};
    const FileIdentity stored{QByteArray("old"), "res", "oldvol", "/old", "hash", 7};
    EXPECT_EQ(FileIdentity::merged(fresh, stored),
              (FileIdentity{QByteArray("new"), "res", "vol", "/new", "hash", 5}));
    EXPECT_EQ(FileIdentity::merged(fresh, std::nullopt), fresh);
}

TEST(CapturedContext, TextsCompareByCanonicalEquivalence)
{
    const CapturedContext composed{"Caf\u00e9", "file:///Caf\u00e9", LinkType::file, "Finder", std::nullopt};
    CapturedContext decomposed = composed;
    decomposed.title = "Cafe\u0301";
    decomposed.locator = "file:///Cafe\u0301";
    EXPECT_EQ(composed, decomposed);
    decomposed.fileIdentity = FileIdentity{};
    EXPECT_FALSE(composed == decomposed);
    decomposed.fileIdentity.reset();
    decomposed.type = LinkType::folder;
    EXPECT_FALSE(composed == decomposed);
}

} // namespace
