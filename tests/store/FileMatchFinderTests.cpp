#include "LinkStoreTestSupport.h"

#include "foundation/IsoDate.h"
#include "store/FileMatchFinder.h"
#include "store/LinkLookup.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

using Confidence = FileMatchCandidate::Confidence;

struct MatchFixture : LibraryFixture {
    FileMatchFinder finder{sqlite, *identity};
    int order = 0;

    // A file link from another machine: only what sync carries (no bookmark here).
    LinkItem remoteFileLink(const QString& name, std::optional<QString> hash, std::optional<qint64> size)
    {
        LinkItem item;
        item.id = QUuid::createUuid();
        item.title = name;
        item.url = QStringLiteral("file:///elsewhere/") + name;
        item.type = LinkType::file;
        item.sourceApp = QStringLiteral("Finder");
        item.lastKnownPath = QStringLiteral("/elsewhere/") + name;
        item.contentHash = std::move(hash);
        item.fileSize = size;
        item.createdAt = *parseLibraryDate(QStringLiteral("2024-05-01T09:00:00.000Z"));
        item.updatedAt = item.createdAt.addSecs(++order); // keeps the insertion order
        sqlite.insertLink(item);
        return *sqlite.link(item.id);
    }
};

QList<std::pair<QString, Confidence>> summary(const QList<FileMatchCandidate>& candidates)
{
    QList<std::pair<QString, Confidence>> result;
    for (const auto& candidate : candidates)
        result.append({candidate.item.title, candidate.confidence});
    return result;
}

} // namespace

TEST(FileMatchFinder, GradesEachFileLinkByTheFirstRuleItMeetsStrongestFirst)
{
    MatchFixture fx;
    const QString path = writeFile(QStringLiteral("here/report.txt"), "twelve bytes");
    const CapturedContext selection = finderContext(*fx.identity, path);
    const QString hash = *fx.identity->makeIdentity(selection.locator, true)->contentHash;
    const QString otherHash(64, u'0');

    fx.remoteFileLink(QStringLiteral("copy.txt"), hash, 12);                     // same content, other name
    fx.remoteFileLink(QStringLiteral("report.txt"), otherHash, 12);              // same name and size
    fx.remoteFileLink(QStringLiteral("report.txt"), hash, 12);                   // same name and content
    fx.remoteFileLink(QStringLiteral("report.txt"), std::nullopt, std::nullopt); // name only
    fx.remoteFileLink(QStringLiteral("report.txt"), hash, std::nullopt); // a hash without size: nothing
    fx.remoteFileLink(QStringLiteral("unrelated.txt"), otherHash, 99);

    const auto candidates = fx.finder.fileMatchCandidates(selection);
    EXPECT_EQ(summary(candidates), (QList<std::pair<QString, Confidence>>{
                                       {"report.txt", Confidence::sameNameAndFingerprint},
                                       {"copy.txt", Confidence::sameFingerprint},
                                       {"report.txt", Confidence::sameNameAndSize},
                                       {"report.txt", Confidence::sameName},
                                   }));
    EXPECT_FALSE(candidates[0].requiresConfirmation);
    EXPECT_TRUE(candidates[1].requiresConfirmation);
    EXPECT_EQ(candidates[0].selectedURL, selection.locator);
    EXPECT_EQ(candidates[0].selectedIdentity.contentHash, hash);

    // Folders get none.
    CapturedContext folder = finderContext(*fx.identity, homePath(QStringLiteral("here")));
    folder.type = LinkType::folder;
    EXPECT_TRUE(fx.finder.fileMatchCandidates(folder).isEmpty());
    EXPECT_FALSE(fx.finder.finderSelectionMatches(folder));
}

TEST(FileMatchFinder, AConfirmedMatchIsFoundByLaterLookups)
{
    MatchFixture fx;
    const QString path = writeFile(QStringLiteral("here/scan.txt"), "scanned");
    const CapturedContext selection = finderContext(*fx.identity, path);
    const LinkItem remote =
        fx.remoteFileLink(QStringLiteral("Scan of contract.txt"),
                          fx.identity->makeIdentity(selection.locator, true)->contentHash, 7);
    LinkLookup lookup(fx.sqlite, fx.parser, *fx.identity);
    ASSERT_FALSE(lookup.findLink(selection));

    const auto candidates = fx.finder.fileMatchCandidates(selection);
    ASSERT_EQ(candidates.size(), 1);
    EXPECT_EQ(fx.finder.useFileMatch(candidates[0]).id, remote.id);
    EXPECT_EQ(fx.count(QStringLiteral("SELECT confirmed_by_user FROM link_local_resolutions")), 1);
    const auto found = lookup.findLink(selection);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, remote.id);
}

TEST(FileMatchFinder, ExplainsTheSelectionInItsThreeTexts)
{
    MatchFixture fx;
    const QString path = writeFile(QStringLiteral("here/report.txt"), "twelve bytes");
    const CapturedContext selection = finderContext(*fx.identity, path);
    const FileIdentity full = *fx.identity->makeIdentity(selection.locator, true);

    // Nothing else in the library. A selection without identifiers whose file cannot be read.
    CapturedContext gone = selection;
    gone.locator = LocatorUrl::fileUrlText(homePath(QStringLiteral("here/gone.txt")));
    gone.fileIdentity->fileResourceIdentifier.reset();
    gone.fileIdentity->fileSize.reset();
    EXPECT_EQ(
        fx.finder.finderSelectionMatches(gone),
        "No local synced file match for Finder selection. inode none, hash none, size unknown. "
        "Local file links: 0, with fingerprints: 0. Run Sync Now on the source Mac, then Sync Now here.");

    fx.remoteFileLink(QStringLiteral("unrelated.txt"), QString(64, u'0'), 99);
    fx.remoteFileLink(QStringLiteral("old.txt"), std::nullopt, 5);
    EXPECT_EQ(fx.finder.finderSelectionMatches(selection),
              QStringLiteral("No local synced file match for Finder selection. inode ") +
                  full.fileResourceIdentifier->left(12) + QStringLiteral(", hash ") +
                  full.contentHash->left(12) +
                  QStringLiteral(", size 12. Local file links: 2, with fingerprints: 1. Run Sync Now on the "
                                 "source Mac, then Sync Now here."));

    fx.remoteFileLink(QStringLiteral("report.txt"), std::nullopt, std::nullopt);
    EXPECT_EQ(fx.finder.finderSelectionMatches(selection),
              "1 possible file match found. Select one to use this file on this Mac.");
    fx.remoteFileLink(QStringLiteral("report.txt"), QString(64, u'1'), 12);
    EXPECT_EQ(fx.finder.finderSelectionMatches(selection),
              "2 possible file matches found. Select one to use this file on this Mac.");

    fx.remoteFileLink(QStringLiteral("copy.txt"), full.contentHash, 12);
    EXPECT_EQ(fx.finder.finderSelectionMatches(selection),
              QStringLiteral("File fingerprint exists locally but was not selected as a match. hash ") +
                  full.contentHash->left(12) + QStringLiteral(", size 12"));

    CapturedContext bare = selection;
    bare.fileIdentity.reset();
    EXPECT_EQ(fx.finder.finderSelectionMatches(bare),
              "No file identity available for active Finder selection.");
    bare.fileIdentity = selection.fileIdentity;
    bare.locator = QStringLiteral("not a url");
    EXPECT_EQ(fx.finder.finderSelectionMatches(bare), "Active Finder selection has no file URL.");
}
