#include "FilesTestSupport.h"

#include "files/FileReconciliationService.h"
#include "files/KnownRootsStore.h"
#include "foundation/UserDefaults.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>

using namespace morvane;
using namespace morvane::test;

namespace {

using Evidence = FileResolutionEvidence;
using Source = FileResolutionCandidateSource;
using Status = FileResolutionStatus;

class Reconciliation : public ::testing::Test {
protected:
    // A file link as it was saved for the file at savedPath (which need not exist any more).
    static LinkItem fileLink(const QString& savedPath)
    {
        LinkItem item;
        item.id = QUuid::createUuid();
        item.url = fileUrl(savedPath);
        item.type = LinkType::file;
        item.lastKnownPath = savedPath;
        return item;
    }

    // The same link carrying the full identity evidence of its file as it is now.
    LinkItem linkWithEvidence(const QString& savedPath) const
    {
        LinkItem item = fileLink(savedPath);
        const auto identity = m_fx.service->makeIdentity(fileUrl(savedPath), true);
        item.fileResourceIdentifier = identity->fileResourceIdentifier;
        item.volumeIdentifier = identity->volumeIdentifier;
        item.contentHash = identity->contentHash;
        item.fileSize = identity->fileSize;
        return item;
    }

    // A link with the evidence of a file written at savedPath but no file identity (as from another
    // machine), whose file has since gone.
    LinkItem goneElsewhere(const char* savedPath, const QByteArray& content) const
    {
        LinkItem item = linkWithEvidence(writeFile(QString::fromUtf8(savedPath), content));
        item.fileResourceIdentifier.reset();
        EXPECT_TRUE(QFile::remove(homePath(QString::fromUtf8(savedPath))));
        return item;
    }

    FileReconciliationResult reconcile(const LinkItem& item, std::initializer_list<const char*> roots) const
    {
        QStringList paths;
        for (const char* root : roots)
            paths.append(homePath(QString::fromUtf8(root)));
        return m_service.reconcile(item, paths);
    }

    IdentityFixture m_fx;
    FileReconciliationService m_service{m_fx.service};
};

} // namespace

TEST_F(Reconciliation, ACurrentBookmarkWinsOverEveryOtherMatch)
{
    LinkItem item = linkWithEvidence(writeFile(homePath("docs/a.txt"), "alpha"));
    writeFile(homePath("root/a.txt"), "alpha");
    item.bookmarkData = m_fx.service->makeIdentity(item.url, false)->bookmarkData;

    auto result = reconcile(item, {"root"});
    EXPECT_EQ(result.status, Status::resolved);
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(result.acceptedCandidate, result.candidates.first());
    EXPECT_EQ(result.candidates.first().url, item.url);
    EXPECT_EQ(result.candidates.first().source, Source::bookmark);

    renameFile(homePath("docs/a.txt"), homePath("docs/b.txt"));
    result = reconcile(item, {"root"});
    EXPECT_EQ(result.status, Status::staleBookmark);
    EXPECT_EQ(result.acceptedCandidate->url, fileUrl(homePath("docs/b.txt")));
}

TEST_F(Reconciliation, AFileAtItsLastKnownPathIsTheLinksFileUnlessWhatTheLinkKnowsDisagrees)
{
    // Nothing known but the path (a link from a backup): taken as it is, namesakes in roots or not.
    writeFile(homePath("root/a.txt"), "alpha");
    auto result = reconcile(fileLink(writeFile(homePath("docs/a.txt"), "alpha")), {"root"});
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(result.acceptedCandidate, result.candidates.first());
    EXPECT_EQ(result.candidates.first().confidence, 0.9);
    EXPECT_EQ(result.candidates.first().evidenceSummary(), "last path, name");

    // Everything the link knows agrees.
    const LinkItem known = linkWithEvidence(homePath("docs/a.txt"));
    result = reconcile(known, {"root"});
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(result.acceptedCandidate->confidence, 1.0);
    EXPECT_EQ(
        result.candidates.first().evidence,
        (QList<Evidence>{Evidence::lastKnownPathExists, Evidence::filenameMatch, Evidence::fileSizeMatch,
                         Evidence::contentHashMatch, Evidence::fileIdentityMatch}));

    // Any of it that disagrees leaves the file for the user to confirm.
    const std::function<void(LinkItem&)> disagreements[] = {
        [](LinkItem& link) { *link.fileSize += 1; },
        [](LinkItem& link) { link.contentHash = QString(64, u'0'); },
        [](LinkItem& link) { link.fileResourceIdentifier = "another file"; },
        [](LinkItem& link) { link.type = LinkType::folder; },
    };
    for (const auto& disagree : disagreements) {
        LinkItem item = known;
        disagree(item);
        result = reconcile(item, {});
        EXPECT_EQ(result.status, Status::needsRelocation);
        EXPECT_EQ(result.candidates.value(0).confidence, 0.75);
    }

    // Another file now has the name: the link's own file, found by its fingerprint in a root, wins.
    LinkItem moved = linkWithEvidence(writeFile(homePath("root/docs/b.txt"), "bravo, longer"));
    moved.fileResourceIdentifier.reset(); // evidence from another machine: no identifiers
    moved.volumeIdentifier.reset();
    renameFile(homePath("root/docs/b.txt"), homePath("root/archive/b.txt"));
    writeFile(homePath("root/docs/b.txt"), "a newer b");
    result = reconcile(moved, {"root"});
    ASSERT_EQ(result.candidates.size(), 3);
    EXPECT_EQ(result.acceptedCandidate->url, fileUrl(homePath("root/archive/b.txt")));
    EXPECT_EQ(result.candidates[1].source, Source::lastKnownPath);
}

TEST_F(Reconciliation, NameMatchesAcrossRootsDecideByCount)
{
    writeFile(homePath("one/report.pdf"), "one");
    writeFile(homePath("two/sub/report.pdf"), "two");
    LinkItem item = fileLink(homePath("old/report.pdf")); // without size and fingerprint

    auto result = reconcile(item, {"one"});
    EXPECT_EQ(result.status, Status::resolved);
    EXPECT_EQ(result.acceptedCandidate->url, fileUrl(homePath("one/report.pdf")));
    EXPECT_EQ(result.acceptedCandidate->confidence, 0.9);

    result = reconcile(item, {"one", "two"});
    EXPECT_EQ(result.status, Status::multipleCandidates);
    EXPECT_FALSE(result.acceptedCandidate);
    ASSERT_EQ(result.candidates.size(), 2);
    EXPECT_EQ(result.candidates[0].url, fileUrl(homePath("one/report.pdf"))); // stable order

    // Two identical copies are as ambiguous as two different files.
    writeFile(homePath("two/sub/report.pdf"), "one");
    result = reconcile(goneElsewhere("old/report.pdf", "one"), {"one", "two"});
    EXPECT_EQ(result.status, Status::multipleCandidates);
    EXPECT_EQ(result.candidates[0].confidence, 1.0);
    EXPECT_EQ(result.candidates[1].confidence, 1.0);
}

TEST_F(Reconciliation, SizeWithoutMatchingContentIsOnlyAHint)
{
    const LinkItem item = goneElsewhere("old/data.csv", "1,2,3");
    writeFile(homePath("root/data.csv"), "4,5,6");
    auto result = reconcile(item, {"root"});
    EXPECT_EQ(result.status, Status::needsRelocation);
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_DOUBLE_EQ(result.candidates[0].confidence, 0.8);
    EXPECT_EQ(result.candidates[0].evidenceSummary(), "name, size");

    renameFile(homePath("root/data.csv"), homePath("root/other.csv"));
    result = reconcile(item, {"root"});
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(result.candidates[0].confidence, 0.3);
    EXPECT_EQ(result.candidates[0].evidence, QList<Evidence>{Evidence::fileSizeMatch});
}

TEST_F(Reconciliation, OverlappingRootsAndLinksListAFileOnceAndHashItOnce)
{
    const LinkItem item = goneElsewhere("old/photo.jpg", "jpeg bytes");
    ASSERT_TRUE(QFile::link(writeFile(homePath("home/Documents/photo.jpg"), "jpeg bytes"),
                            homePath("home/photo.jpg")));
    m_fx.cache->clear();
    const int readsBefore = m_fx.hasher->reads;

    const auto result = reconcile(item, {"home", "home/Documents"});
    EXPECT_EQ(result.status, Status::resolved);
    EXPECT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(m_fx.hasher->reads - readsBefore, 1);
}

TEST_F(Reconciliation, FileIdentityNeedsBothIdentifiersOnBothSides)
{
    LinkItem item = linkWithEvidence(writeFile(homePath("root/draft.txt"), "draft"));
    // Rewritten and renamed: only the file system identity still ties it to the link.
    writeFile(homePath("root/draft.txt"), "rewritten and longer");
    renameFile(homePath("root/draft.txt"), homePath("root/final.txt"));

    auto result = reconcile(item, {"root"});
    EXPECT_EQ(result.status, Status::resolved);
    EXPECT_EQ(result.acceptedCandidate->evidence, QList<Evidence>{Evidence::fileIdentityMatch});
    EXPECT_EQ(result.acceptedCandidate->url, fileUrl(homePath("root/final.txt")));

    item.fileResourceIdentifier.reset();
    EXPECT_EQ(reconcile(item, {"root"}).status, Status::missing);
}

TEST_F(Reconciliation, TargetNameComesFromPathThenUrlThenTitleAndOnlyForFileLikeLinks)
{
    writeFile(homePath("root/Cafe\u0301 menu.txt"), "menu"); // decomposed on disk
    LinkItem item;
    item.id = QUuid::createUuid();
    item.type = LinkType::file;
    item.url = "file:///gone/Caf%C3%A9%20menu.txt"; // precomposed in the link
    EXPECT_EQ(reconcile(item, {"root"}).status, Status::resolved);
    item.url = "not a url";
    item.title = "Café menu.txt";
    EXPECT_EQ(reconcile(item, {"root"}).status, Status::resolved);
    item.type = LinkType::web;
    const auto web = reconcile(item, {"root"});
    EXPECT_EQ(web.status, Status::missing);
    EXPECT_TRUE(web.candidates.isEmpty());
    item.type = LinkType::file;
    item.title.clear();
    EXPECT_EQ(reconcile(item, {"root"}).status, Status::missing);
}

TEST_F(Reconciliation, FoldersAreFoundByNameAndNeverBySize)
{
    QDir().mkpath(homePath("root/Projects/Alpha"));
    QDir().mkpath(homePath("root/Other"));
    LinkItem item = fileLink(homePath("gone/Alpha"));
    item.type = LinkType::folder;
    item.fileSize = 4096; // a folder size from an older version must not match every folder
    item.contentHash = "0000";
    const auto result = reconcile(item, {"root"});
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(result.candidates[0].url, fileUrl(homePath("root/Projects/Alpha"))); // with "/"
    EXPECT_EQ(result.candidates[0].evidence, QList<Evidence>{Evidence::filenameMatch});
}

// The roots the scan walks, kept in the settings.
TEST(KnownRootsStore, SavesEachChangeAndADuplicateChangesAndWritesNothing)
{
    auto defaults = UserDefaults::inMemory();
    KnownRootsStore store(defaults);
    QSignalSpy changed(&store, &KnownRootsStore::rootPathsChanged);
    EXPECT_TRUE(store.addRoot("/a") && store.addRoot("/home/u/Ça") && store.removeRoot("/a"));
    EXPECT_EQ(defaults->stringListValue(KnownRootsStore::key), QStringList{"/home/u/Ça"});
    defaults->setStringList(KnownRootsStore::key, {"marker"}); // to see any later write
    EXPECT_FALSE(store.addRoot("/home/u/Ça") || store.removeRoot("/b"));
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(defaults->stringListValue(KnownRootsStore::key), QStringList{"marker"});

    // Another instance's saved edits reach this one on reload.
    store.reload();
    EXPECT_EQ(store.rootPaths(), QStringList{"marker"});
    EXPECT_EQ(changed.count(), 4);
}
