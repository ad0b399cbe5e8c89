#include "LinkStoreTestSupport.h"
#include "LogCapture.h"

#include "platform/FileBookmarks.h"
#include "platform/FolderWalker.h"
#include "platform/TrashFolders.h"
#include "store/FileMatchFinder.h"
#include "store/LinkLookup.h"
#include "store/LinkWriter.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace morvane;
using namespace morvane::test;

namespace {

struct LookupFixture : LibraryFixture {
    LinkWriter writer{sqlite.reads(), sqlite.writes(), sqlite.transactions(), *clock, parser, *identity};
    LinkLookup lookup{sqlite.reads(), sqlite.fileLookups(), sqlite.writes(), parser, *identity};

    LinkItem save(const QString& path, const std::optional<QString>& locator = std::nullopt)
    {
        return writer.addCapturedContext(finderContext(*identity, path, locator), {}, {});
    }
};

// Counts the walks a bookmark search starts.
class CountingWalker : public FolderWalker {
public:
    bool walk(const QString& root, const WalkOptions& options,
              const std::function<WalkStep(const WalkEntry&)>& visit) const override
    {
        ++walks;
        return LinuxFolderWalker().walk(root, options, visit);
    }

    mutable std::atomic<int> walks{0};
};

CapturedContext webContext(const QString& locator)
{
    return {QString(), locator, LinkType::web, "Safari", std::nullopt};
}

using Confidence = FileMatchCandidate::Confidence;

struct MatchFixture : LibraryFixture {
    FileMatchFinder finder{sqlite.reads(), sqlite.fileLookups(), sqlite.writes(), *identity};
    int order = 0;

    // A file link from another machine: only what sync carries (no bookmark here).
    LinkItem remoteFileLink(const QString& name, std::optional<QString> hash, std::optional<qint64> size)
    {
        LinkItem item = makeLink(name, "file:///elsewhere/" + name);
        item.type = LinkType::file;
        item.lastKnownPath = "/elsewhere/" + name;
        item.contentHash = std::move(hash);
        item.fileSize = size;
        item.updatedAt = item.updatedAt.addSecs(++order); // keeps the insertion order
        sqlite.writes().insertLink(item);
        return *sqlite.reads().link(item.id);
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

TEST(LinkLookup, LocatorLookupsAcceptTheOtherSlashAndTheParsersFormButNotAPdfPage)
{
    LookupFixture fx;
    const LinkItem slash = fx.writer.addLink({}, "https://example.com/docs/", {}, {});
    const LinkItem bare = fx.writer.addLink({}, "https://example.com/b", {}, {});
    EXPECT_EQ(fx.lookup.findLink(webContext("https://example.com/docs")).value_or(LinkItem()).id, slash.id);
    EXPECT_EQ(fx.lookup.findLink(webContext("https://example.com/b/")).value_or(LinkItem()).id, bare.id);
    for (const char* other : {"https://example.com/b//", "https://example.com/bb"})
        EXPECT_FALSE(fx.lookup.findLink(webContext(other))) << other;

    // A typed path is saved as its file URL and found from the typed form too.
    const LinkItem typed = fx.writer.addLink({}, "/nowhere/a b.txt", {}, {});
    EXPECT_EQ(fx.lookup.linkForLocator(webContext("/nowhere/a b.txt"))->id, typed.id);
    EXPECT_FALSE(fx.lookup.linkForLocator(webContext("gopher://x")));

    // Page 3 of a saved PDF is not the saved PDF.
    const QString pdf = writeFile("papers/paper.pdf", "%PDF-1.4");
    fx.save(pdf);
    const CapturedContext page = finderContext(*fx.identity, pdf, LocatorUrl::fileUrlText(pdf) + "#page=3");
    EXPECT_FALSE(fx.lookup.findLink(page));
}

TEST(LinkLookup, ARenamedFileIsFoundByItsIdentityAndItsLinkFollowsKeepingThePdfPage)
{
    LookupFixture fx;
    const QString path = writeFile("papers/paper.pdf", "%PDF-1.4 content");
    const LinkItem saved = fx.save(path, LocatorUrl::fileUrlText(path) + "#page=3");
    const QString moved = renameFile(path, "papers/renamed paper.pdf");

    const auto found = fx.lookup.findLink(finderContext(*fx.identity, moved));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, saved.id);
    EXPECT_EQ(found->url, LocatorUrl::fileUrlText(moved) + "#page=3");
    EXPECT_EQ(found->contentHash, saved.contentHash); // kept from the stored evidence
    EXPECT_EQ(fx.sqlite.reads().link(saved.id), found);
    // Up to date now: the comparison takes the page into account and writes nothing.
    EXPECT_EQ(fx.lookup.updateFileIdentity(*found, *finderContext(*fx.identity, moved).fileIdentity), *found);
}

TEST(LinkLookup, ACopyWithTheSameContentIsFoundByFingerprintOnlyUnderItsName)
{
    LookupFixture fx;
    // Two saved links to one content, the first in the library's order under another name; the links
    // came from another machine, so their files are not here.
    const QString other = writeFile("mac-a/a-copy.txt", "quarterly numbers");
    const QString original = writeFile("mac-a/report.txt", "quarterly numbers");
    fx.save(other);
    const LinkItem saved = fx.save(original);
    // (Written before the originals go, so that it cannot take over one of their inodes.)
    const QString copy = writeFile("mac-b/report.txt", "quarterly numbers");
    QFile::remove(other);
    QFile::remove(original);

    const auto found = fx.lookup.findLink(finderContext(*fx.identity, copy));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, saved.id);
    EXPECT_EQ(found->lastKnownPath, original); // the link's own path stays; this machine's is a resolution
    EXPECT_EQ(fx.sqlite.fileLookups().localResolution(saved.id).value_or(FileIdentity()).lastKnownPath, copy);
    EXPECT_EQ(fx.count("SELECT confirmed_by_user FROM link_local_resolutions"), 0);

    // Under a third name it is not found (only offered for confirmation).
    EXPECT_FALSE(
        fx.lookup.findLink(finderContext(*fx.identity, writeFile("mac-b/q3.txt", "quarterly numbers"))));
}

TEST(LinkLookup, BookmarksOfGoneFilesAreComparedByTheirRecordedIdentityWithoutASearch)
{
    LookupFixture fx;
    const auto walker = std::make_shared<CountingWalker>();
    FileIdentityPlatform platform = FileIdentityPlatform::system();
    platform.bookmarks = std::make_shared<LinuxFileBookmarks>(platform.probe, platform.volumes, walker);
    const FileIdentityService identity(std::make_shared<FileHashCache>(), platform);
    LinkLookup lookup(fx.sqlite.reads(), fx.sqlite.fileLookups(), fx.sqlite.writes(), fx.parser, identity);

    // Links whose identifiers were not kept (as after an import), so only their bookmarks can tell.
    for (const char* name : {"gone-1.txt", "gone-2.txt", "moved.txt"})
        fx.save(writeFile(QStringLiteral("docs/") + name, name));
    SQLiteConnection raw = rawLibrary(fx.sqlite);
    raw.execute("UPDATE links SET file_resource_identifier = NULL, last_known_path = NULL");
    const LinkItem damaged = fx.save(writeFile("docs/damaged.txt", "d"));
    raw.execute(QStringLiteral("UPDATE links SET bookmark_data = 'junk', file_resource_identifier = NULL "
                               "WHERE id = ?"),
                {uuidString(damaged.id)});
    QFile::remove(homePath("docs/gone-1.txt"));
    QFile::remove(homePath("docs/gone-2.txt"));
    const QString moved = renameFile("docs/moved.txt", "elsewhere/renamed.txt");

    const auto found = lookup.findLink(finderContext(identity, moved));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->lastKnownPath, moved);
    const LogCapture log("morvane.FileIdentity");
    EXPECT_FALSE(lookup.findLink(finderContext(identity, writeFile("new.txt", "new"))));
    EXPECT_EQ(walker->walks, 0);
    // Only a bookmark that cannot be read at all is worth a log line.
    EXPECT_EQ(log.lines(), QStringList(1, QStringLiteral("Failed to resolve file bookmark: The bookmark data "
                                                         "isn’t in the correct format.")));
}

TEST(FileMatchFinder, GradesEachFileLinkByTheFirstRuleItMeetsStrongestFirst)
{
    MatchFixture fx;
    const QString path = writeFile("here/report.txt", "twelve bytes");
    const CapturedContext selection = finderContext(*fx.identity, path);
    const QString hash = *fx.identity->makeIdentity(selection.locator, true)->contentHash;
    const QString otherHash(64, u'0');

    fx.remoteFileLink("copy.txt", hash, 12);                     // same content, other name
    fx.remoteFileLink("report.txt", otherHash, 12);              // same name and size
    fx.remoteFileLink("report.txt", hash, 12);                   // same name and content
    fx.remoteFileLink("report.txt", std::nullopt, std::nullopt); // name only
    fx.remoteFileLink("report.txt", hash, std::nullopt);         // a hash without size: nothing
    fx.remoteFileLink("unrelated.txt", otherHash, 99);

    const auto candidates = fx.finder.fileMatchCandidates(selection);
    EXPECT_EQ(summary(candidates), (QList<std::pair<QString, Confidence>>{
                                       {"report.txt", Confidence::sameNameAndFingerprint},
                                       {"copy.txt", Confidence::sameFingerprint},
                                       {"report.txt", Confidence::sameNameAndSize},
                                       {"report.txt", Confidence::sameName},
                                   }));
    EXPECT_FALSE(candidates[0].requiresConfirmation);
    EXPECT_TRUE(candidates[1].requiresConfirmation);
    // A candidate's id names its link and its grade, so one link may be listed once per grade.
    EXPECT_EQ(candidates[0].id(), uuidString(candidates[0].item.id) + "-sameNameAndFingerprint");
    EXPECT_EQ(candidates[0].selectedURL, selection.locator);
    EXPECT_EQ(candidates[0].selectedIdentity.contentHash, hash);

    // Folders get none.
    CapturedContext folder = finderContext(*fx.identity, homePath("here"));
    folder.type = LinkType::folder;
    EXPECT_TRUE(fx.finder.fileMatchCandidates(folder).isEmpty());
    EXPECT_FALSE(fx.finder.finderSelectionMatches(folder));
}

namespace {

// A library whose file links were saved on this computer, with the lookups over it.
struct CopyFixture : LookupFixture {
    FileMatchFinder finder{sqlite.reads(), sqlite.fileLookups(), sqlite.writes(), *identity};

    qint64 resolutions() { return count("SELECT count(*) FROM link_local_resolutions"); }
};

// Copies the file to a new file (new identifiers, same content).
QString copyFile(const QString& from, const QString& to)
{
    QFile source(homePath(from));
    source.open(QIODevice::ReadOnly);
    return writeFile(to, source.readAll());
}

} // namespace

TEST(LinkLookup, ACopyOfASavedFolderOnThisComputerIsANewItemAndTheSavedLinksKeepTheirFiles)
{
    CopyFixture fx;
    const LinkItem alpha = fx.save(writeFile("D1/alpha.txt", "alpha's words"));
    const LinkItem beta = fx.save(writeFile("D1/beta.txt", "beta's words"));
    for (const char* name : {"alpha.txt", "beta.txt"})
        copyFile(QStringLiteral("D1/") + name, QStringLiteral("D2/") + name);

    for (const char* name : {"alpha.txt", "beta.txt"}) {
        const CapturedContext copy = finderContext(*fx.identity, homePath(QStringLiteral("D2/") + name));
        EXPECT_FALSE(fx.lookup.findLink(copy)) << name;
        EXPECT_TRUE(fx.finder.fileMatchCandidates(copy).isEmpty()) << name;
        // Why nothing matched: the content is saved, under the original.
        EXPECT_TRUE(fx.finder.finderSelectionMatches(copy)->startsWith(
            "File fingerprint exists locally but was not selected as a match. hash "));
    }
    EXPECT_EQ(fx.resolutions(), 0);
    // The saved links still lead to their own files.
    EXPECT_EQ(fx.lookup.findLink(finderContext(*fx.identity, homePath("D1/alpha.txt")))->id, alpha.id);
    EXPECT_EQ(fx.sqlite.reads().link(alpha.id), alpha);
    EXPECT_EQ(fx.sqlite.reads().link(beta.id), beta);

    // Saved in its turn, the copy is found as itself.
    const LinkItem copied = fx.save(homePath("D2/alpha.txt"));
    EXPECT_EQ(fx.lookup.findLink(finderContext(*fx.identity, homePath("D2/alpha.txt")))->id, copied.id);
    EXPECT_EQ(fx.lookup.findLink(finderContext(*fx.identity, homePath("D1/alpha.txt")))->id, alpha.id);
}

TEST(FileMatchFinder, ALinkWhoseOwnFileIsHereIsNoCandidateWhateverItsNameAndSize)
{
    CopyFixture fx;
    // Same name, same size, other content, beside the saved file.
    const LinkItem saved = fx.save(writeFile("D3/alpha.txt", "twelve bytes"));
    const CapturedContext other = finderContext(*fx.identity, writeFile("D6/alpha.txt", "other twelve"));
    EXPECT_TRUE(fx.finder.fileMatchCandidates(other).isEmpty());
    EXPECT_TRUE(fx.finder.finderSelectionMatches(other)->startsWith(
        "No local synced file match for the file manager's selection. inode "));
    EXPECT_TRUE(
        fx.finder.finderSelectionMatches(other)->contains(". Local file links: 1, with fingerprints: 1."));

    // A link synced from elsewhere, whose own path does not exist here, is offered beside it, with
    // its confidence and the texts as before.
    LinkItem remote = makeLink("alpha.txt", "file:///elsewhere/alpha.txt");
    remote.type = LinkType::file;
    remote.lastKnownPath = "/elsewhere/alpha.txt";
    remote.fileSize = 12;
    remote.contentHash = QString(64, u'0');
    fx.sqlite.writes().insertLink(remote);
    const auto offered = fx.finder.fileMatchCandidates(other);
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(offered[0].item.id, remote.id);
    EXPECT_EQ(offered[0].confidence, Confidence::sameNameAndSize);
    EXPECT_EQ(fx.finder.finderSelectionMatches(other),
              "1 possible file match found. Select one to use this file on this computer.");

    // Once the saved file is gone from its place (and its bookmark finds nothing without a search),
    // its link is offered too, after the one saved earlier.
    QFile::remove(homePath("D3/alpha.txt"));
    EXPECT_EQ(summary(fx.finder.fileMatchCandidates(other)),
              (QList<std::pair<QString, Confidence>>{{"alpha.txt", Confidence::sameNameAndSize},
                                                     {"alpha.txt", Confidence::sameNameAndSize}}));
    EXPECT_EQ(fx.finder.fileMatchCandidates(other)[0].item.id, saved.id);
}

TEST(LinkLookup, AnOldCopyIsNotTheSavedFileWhileTheOriginalIsHereEvenEditedButIsOnceItIsThrownAway)
{
    CopyFixture fx;
    const LinkItem saved = fx.save(writeFile("work/notes.txt", "first draft"));
    const CapturedContext old = finderContext(*fx.identity, copyFile("work/notes.txt", "backup/notes.txt"));

    // Edited in place after saving (to the same size, so that the old copy keeps matching the stored
    // size and fingerprint): the same file, with the link's identifiers.
    writeFile("work/notes.txt", "final draft");
    EXPECT_FALSE(fx.lookup.findLink(old));
    EXPECT_TRUE(fx.finder.fileMatchCandidates(old).isEmpty());
    EXPECT_EQ(fx.resolutions(), 0);

    // Thrown away: the lookup that follows it there records the Trash path, where it does not count.
    const QString trashed = renameFile("work/notes.txt", homeTrashFiles() + "/notes.txt");
    EXPECT_EQ(fx.lookup.findLink(finderContext(*fx.identity, trashed))->lastKnownPath, trashed);
    const auto found = fx.lookup.findLink(old);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, saved.id);
    EXPECT_EQ(found->lastKnownPath, trashed);
    EXPECT_EQ(fx.sqlite.fileLookups().localResolution(saved.id).value_or(FileIdentity()).lastKnownPath,
              old.fileIdentity->lastKnownPath);
    EXPECT_EQ(fx.count("SELECT confirmed_by_user FROM link_local_resolutions"), 0);
}

TEST(LinkLookup, AnOriginalSavedOverByRenameCountsAsGoneAndLinksWithoutIdentifiersAreComparedByContent)
{
    CopyFixture fx;
    const LinkItem saved = fx.save(writeFile("work/plan.txt", "the plan"));
    const LinkItem imported = fx.save(writeFile("work/list.txt", "the list"));
    const CapturedContext planCopy = finderContext(*fx.identity, copyFile("work/plan.txt", "copy/plan.txt"));
    const CapturedContext listCopy = finderContext(*fx.identity, copyFile("work/list.txt", "copy/list.txt"));
    // As after an import: no identifiers, so the file at its path is compared by size and fingerprint.
    rawLibrary(fx.sqlite).execute(
        QStringLiteral(
            "UPDATE links SET file_resource_identifier = NULL, volume_identifier = NULL WHERE id = ?"),
        {uuidString(imported.id)});
    EXPECT_FALSE(fx.lookup.findLink(listCopy));
    writeFile("work/list.txt", "the list, changed");
    EXPECT_EQ(fx.lookup.findLink(listCopy).value_or(LinkItem()).id, imported.id);

    // An editor's save by rename: new identifiers and new content at the link's path.
    const QString revised = writeFile("work/plan.txt.new", "the plan, revised");
    ASSERT_EQ(std::rename(QFile::encodeName(revised).constData(),
                          QFile::encodeName(homePath("work/plan.txt")).constData()),
              0);
    EXPECT_EQ(fx.lookup.findLink(planCopy).value_or(LinkItem()).id, saved.id);
    EXPECT_EQ(fx.resolutions(), 2);
}
