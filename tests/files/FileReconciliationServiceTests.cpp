#include "FilesTestSupport.h"

#include "files/FileReconciliationService.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

using Evidence = FileResolutionEvidence;

class Reconciliation : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    // A file link as it was saved for the file at savedPath (which need not exist any more).
    LinkItem fileLink(const QString& savedPath) const
    {
        LinkItem item;
        item.id = QUuid::createUuid();
        item.title = lastPathComponentOfPath(savedPath);
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

    // A link with the evidence of a file written at savedPath, but no file identity (as from another
    // machine), whose file has since gone.
    LinkItem goneElsewhere(const QString& savedPath, const QByteArray& content) const
    {
        writeFile(savedPath, content);
        LinkItem item = linkWithEvidence(savedPath);
        item.fileResourceIdentifier.reset();
        EXPECT_TRUE(QFile::remove(savedPath));
        return item;
    }

    FileReconciliationResult reconcile(const LinkItem& item, const QStringList& roots) const
    {
        return m_service.reconcile(item, roots);
    }

    QTemporaryDir m_dir;
    IdentityFixture m_fx;
    FileReconciliationService m_service{m_fx.service};
};

} // namespace

TEST_F(Reconciliation, OnlyFileLikeLinksAreReconciled)
{
    LinkItem web;
    web.type = LinkType::web;
    web.url = QStringLiteral("https://example.com/a.pdf");
    const auto result = reconcile(web, {path(QString())});
    EXPECT_EQ(result.status, FileResolutionStatus::missing);
    EXPECT_TRUE(result.candidates.isEmpty());
}

TEST_F(Reconciliation, ACurrentBookmarkWinsOverEveryOtherMatch)
{
    writeFile(path(QStringLiteral("docs/a.txt")), "alpha");
    writeFile(path(QStringLiteral("root/a.txt")), "alpha");
    LinkItem item = linkWithEvidence(path(QStringLiteral("docs/a.txt")));
    item.bookmarkData = m_fx.service->makeIdentity(item.url, false)->bookmarkData;

    auto result = reconcile(item, {path(QStringLiteral("root"))});
    EXPECT_EQ(result.status, FileResolutionStatus::resolved);
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(result.acceptedCandidate, result.candidates.first());
    EXPECT_EQ(result.candidates.first().url, item.url);
    EXPECT_EQ(result.candidates.first().source, FileResolutionCandidateSource::bookmark);

    ASSERT_TRUE(QFile::rename(path(QStringLiteral("docs/a.txt")), path(QStringLiteral("docs/b.txt"))));
    result = reconcile(item, {path(QStringLiteral("root"))});
    EXPECT_EQ(result.status, FileResolutionStatus::staleBookmark);
    EXPECT_EQ(result.acceptedCandidate->url, fileUrl(path(QStringLiteral("docs/b.txt"))));
}

TEST_F(Reconciliation, LastKnownPathAloneNeedsRelocation)
{
    writeFile(path(QStringLiteral("docs/a.txt")), "alpha");
    const auto result = reconcile(fileLink(path(QStringLiteral("docs/a.txt"))), {});
    EXPECT_EQ(result.status, FileResolutionStatus::needsRelocation);
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_FALSE(result.acceptedCandidate);
    EXPECT_EQ(result.candidates.first().confidence, 0.75);
    EXPECT_EQ(result.candidates.first().evidenceSummary(), QStringLiteral("last path, name"));
}

TEST_F(Reconciliation, FingerprintInAKnownRootIsAcceptedAboveTheLastPath)
{
    writeFile(path(QStringLiteral("root/docs/a.txt")), "alpha");
    LinkItem item = linkWithEvidence(path(QStringLiteral("root/docs/a.txt")));
    item.fileResourceIdentifier.reset(); // evidence from another machine: no identifiers
    item.volumeIdentifier.reset();
    const auto result = reconcile(item, {path(QStringLiteral("root"))});
    EXPECT_EQ(result.status, FileResolutionStatus::resolved);
    ASSERT_EQ(result.candidates.size(), 2);
    EXPECT_EQ(result.acceptedCandidate, result.candidates[0]);
    EXPECT_EQ(result.candidates[0].source, FileResolutionCandidateSource::knownRootScan);
    EXPECT_EQ(
        result.candidates[0].evidence,
        (QList<Evidence>{Evidence::filenameMatch, Evidence::fileSizeMatch, Evidence::contentHashMatch}));
    EXPECT_EQ(result.candidates[1].source, FileResolutionCandidateSource::lastKnownPath);
}

TEST_F(Reconciliation, NameMatchesAcrossRootsDecideByCount)
{
    const QString saved = path(QStringLiteral("old/report.pdf"));
    writeFile(path(QStringLiteral("one/report.pdf")), "one");
    writeFile(path(QStringLiteral("two/sub/report.pdf")), "two");
    LinkItem item = fileLink(saved); // without size and fingerprint

    auto result = reconcile(item, {path(QStringLiteral("one"))});
    EXPECT_EQ(result.status, FileResolutionStatus::resolved);
    EXPECT_EQ(result.acceptedCandidate->url, fileUrl(path(QStringLiteral("one/report.pdf"))));
    EXPECT_EQ(result.acceptedCandidate->confidence, 0.9);

    result = reconcile(item, {path(QStringLiteral("one")), path(QStringLiteral("two"))});
    EXPECT_EQ(result.status, FileResolutionStatus::multipleCandidates);
    EXPECT_FALSE(result.acceptedCandidate);
    ASSERT_EQ(result.candidates.size(), 2);
    EXPECT_EQ(result.candidates[0].url, fileUrl(path(QStringLiteral("one/report.pdf")))); // stable order

    // Two identical copies are as ambiguous as two different files.
    writeFile(path(QStringLiteral("two/sub/report.pdf")), "one");
    item = goneElsewhere(saved, "one");
    result = reconcile(item, {path(QStringLiteral("one")), path(QStringLiteral("two"))});
    EXPECT_EQ(result.status, FileResolutionStatus::multipleCandidates);
    EXPECT_EQ(result.candidates[0].confidence, 1.0);
    EXPECT_EQ(result.candidates[1].confidence, 1.0);
}

TEST_F(Reconciliation, SizeWithoutMatchingContentIsOnlyAHint)
{
    const LinkItem item = goneElsewhere(path(QStringLiteral("old/data.csv")), "1,2,3");
    writeFile(path(QStringLiteral("root/data.csv")), "4,5,6");
    auto result = reconcile(item, {path(QStringLiteral("root"))});
    EXPECT_EQ(result.status, FileResolutionStatus::needsRelocation);
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_DOUBLE_EQ(result.candidates[0].confidence, 0.8);
    EXPECT_EQ(result.candidates[0].evidenceSummary(), QStringLiteral("name, size"));

    ASSERT_TRUE(QFile::rename(path(QStringLiteral("root/data.csv")), path(QStringLiteral("root/other.csv"))));
    result = reconcile(item, {path(QStringLiteral("root"))});
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(result.candidates[0].confidence, 0.3);
    EXPECT_EQ(result.candidates[0].evidence, QList<Evidence>{Evidence::fileSizeMatch});
}

TEST_F(Reconciliation, OverlappingRootsAndLinksListAFileOnceAndHashItOnce)
{
    const LinkItem item = goneElsewhere(path(QStringLiteral("old/photo.jpg")), "jpeg bytes");
    writeFile(path(QStringLiteral("home/Documents/photo.jpg")), "jpeg bytes");
    ASSERT_TRUE(QFile::link(path(QStringLiteral("home/Documents/photo.jpg")),
                            path(QStringLiteral("home/photo.jpg"))));
    m_fx.cache->clear();
    const int readsBefore = m_fx.hasher->reads;

    const auto result =
        reconcile(item, {path(QStringLiteral("home")), path(QStringLiteral("home/Documents"))});
    EXPECT_EQ(result.status, FileResolutionStatus::resolved);
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(m_fx.hasher->reads - readsBefore, 1);
}

TEST_F(Reconciliation, FileIdentityNeedsBothIdentifiersOnBothSides)
{
    const QString saved = path(QStringLiteral("root/draft.txt"));
    writeFile(saved, "draft");
    const LinkItem withEvidence = linkWithEvidence(saved);
    // Renamed and rewritten: only the file system identity still ties it to the link.
    writeFile(saved, "rewritten and longer");
    ASSERT_TRUE(QFile::rename(saved, path(QStringLiteral("root/final.txt"))));

    auto result = reconcile(withEvidence, {path(QStringLiteral("root"))});
    EXPECT_EQ(result.status, FileResolutionStatus::resolved);
    EXPECT_EQ(result.acceptedCandidate->evidence, QList<Evidence>{Evidence::fileIdentityMatch});
    EXPECT_EQ(result.acceptedCandidate->url, fileUrl(path(QStringLiteral("root/final.txt"))));

    LinkItem halfEvidence = withEvidence;
    halfEvidence.fileResourceIdentifier.reset();
    result = reconcile(halfEvidence, {path(QStringLiteral("root"))});
    EXPECT_EQ(result.status, FileResolutionStatus::missing);
}

TEST_F(Reconciliation, TargetNameComesFromPathThenUrlThenTitle)
{
    writeFile(path(QStringLiteral("root/Cafe\u0301 menu.txt")), "menu"); // decomposed on disk
    LinkItem item;
    item.id = QUuid::createUuid();
    item.type = LinkType::file;
    item.url = QStringLiteral("file:///gone/Caf%C3%A9%20menu.txt"); // precomposed in the link
    EXPECT_EQ(reconcile(item, {path(QStringLiteral("root"))}).status, FileResolutionStatus::resolved);
    item.url = QStringLiteral("not a url");
    item.title = QStringLiteral("Café menu.txt");
    EXPECT_EQ(reconcile(item, {path(QStringLiteral("root"))}).status, FileResolutionStatus::resolved);

    item.title.clear();
    EXPECT_EQ(reconcile(item, {path(QStringLiteral("root"))}).status, FileResolutionStatus::missing);
}

TEST_F(Reconciliation, FoldersAreFoundByNameAndNeverBySize)
{
    QDir().mkpath(path(QStringLiteral("root/Projects/Alpha")));
    QDir().mkpath(path(QStringLiteral("root/Other")));
    LinkItem item = fileLink(path(QStringLiteral("gone/Alpha")));
    item.type = LinkType::folder;
    item.fileSize = 4096; // a folder size from an older version must not match every folder
    item.contentHash = QStringLiteral("0000");
    const auto result = reconcile(item, {path(QStringLiteral("root"))});
    ASSERT_EQ(result.candidates.size(), 1);
    EXPECT_EQ(result.candidates[0].url, fileUrl(path(QStringLiteral("root/Projects/Alpha")))); // with "/"
    EXPECT_EQ(result.candidates[0].evidence, QList<Evidence>{Evidence::filenameMatch});
}
