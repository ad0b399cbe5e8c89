#include "LinkStoreTestSupport.h"
#include "ScriptedHasher.h"

#include "foundation/IsoDate.h"
#include "store/LinkMaintenance.h"
#include "store/LinkWriter.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

struct MaintenanceFixture : LibraryFixture {
    std::shared_ptr<ScriptedHasher> hasher = std::make_shared<ScriptedHasher>();
    MaintenanceFixture()
    {
        FileIdentityPlatform platform = FileIdentityPlatform::system();
        platform.hasher = hasher;
        identity = std::make_shared<FileIdentityService>(nullptr, platform); // uncached: every read hashes
    }

    LinkMaintenance maintenance()
    {
        return LinkMaintenance(sqlite.reads(), sqlite.writes(), sqlite.transactions(), identity);
    }
    LinkWriter writer()
    {
        return LinkWriter(sqlite.reads(), sqlite.writes(), sqlite.transactions(), *clock, parser, *identity);
    }

    // A link saved on another machine or typed in by hand: a file URL and nothing else.
    LinkItem bareLink(const QString& url, LinkType type = LinkType::file)
    {
        LinkItem item = makeLink("bare", url);
        item.type = type;
        sqlite.writes().insertLink(item);
        return *sqlite.reads().link(item.id);
    }

    static FileResolutionCandidate candidateAt(const QString& path)
    {
        FileResolutionCandidate candidate;
        candidate.url = LocatorUrl::fileUrlText(path);
        return candidate;
    }
};

} // namespace

TEST(LinkMaintenance, AllLinksFillsAMissingFingerprintOnceAndKeepsAPdfPage)
{
    MaintenanceFixture fx;
    const QString pdf = writeFile("papers/paper.pdf", "%PDF-1.4 body");
    const LinkItem page = fx.bareLink(LocatorUrl::fileUrlText(pdf) + "#page=4");
    const LinkItem folder = fx.bareLink(LocatorUrl::fileUrlText(homePath("papers")), LinkType::folder);
    const LinkItem missing = fx.bareLink(LocatorUrl::fileUrlText(homePath("gone.txt")));

    const QList<LinkItem> links = fx.maintenance().allLinks();
    ASSERT_EQ(links.size(), 3);
    const LinkItem filled =
        *std::find_if(links.begin(), links.end(), [&](auto& l) { return l.id == page.id; });
    EXPECT_EQ(filled.contentHash, fx.identity->makeIdentity(page.url, true)->contentHash);
    EXPECT_EQ(filled.fileSize, 13);
    EXPECT_EQ(filled.url, page.url); // still page 4
    EXPECT_EQ(fx.sqlite.reads().link(folder.id), folder);
    EXPECT_EQ(fx.sqlite.reads().link(missing.id), missing);

    // Complete now: the next full read leaves the row alone.
    EXPECT_EQ(fx.maintenance().allLinks(), fx.sqlite.reads().allLinks());
    EXPECT_EQ(fx.sqlite.reads().link(page.id)->updatedAt, filled.updatedAt);
}

TEST(LinkMaintenance, AFingerprintThatCannotBeReadDoesNotRewriteTheLink)
{
    MaintenanceFixture fx;
    const QString path = writeFile("docs/locked.txt", "locked");
    fx.hasher->failing = true;
    const LinkItem saved = fx.writer().addCapturedContext(finderContext(*fx.identity, path), {}, {});
    ASSERT_FALSE(saved.contentHash);
    ASSERT_EQ(saved.fileSize, 6);

    // Nothing new to say: the row and its update time stay, so sync has nothing to push.
    fx.clock->setNow(at("2030-01-01T00:00:00.000Z"));
    fx.maintenance().allLinks();
    EXPECT_EQ(fx.sqlite.reads().link(saved.id), saved);

    fx.hasher->failing = false;
    const LinkItem filled = fx.maintenance().allLinks().constFirst();
    EXPECT_TRUE(filled.contentHash);
    EXPECT_EQ(libraryDateString(filled.updatedAt), "2030-01-01T00:00:00.000Z");
}

TEST(LinkMaintenance, RepairPointsTheLinkAtTheChosenFileOrThrowsAndWritesNothing)
{
    MaintenanceFixture fx;
    const QString old = writeFile("papers/old.pdf", "%PDF old");
    const LinkItem saved = fx.writer().addCapturedContext(
        finderContext(*fx.identity, old, LocatorUrl::fileUrlText(old) + "#page=2"), {}, {});

    // An unreadable candidate must not count as relinked.
    EXPECT_EQ(errorText([&] {
                  fx.maintenance().repairFileLink(saved, fx.candidateAt(homePath("papers/gone.pdf")));
              }),
              "The chosen file could not be read: gone.pdf");
    EXPECT_EQ(fx.sqlite.reads().link(saved.id), saved);
    EXPECT_EQ(fx.count("SELECT COUNT(*) FROM link_local_resolutions"), 0);

    const QString chosen = writeFile("elsewhere/new.pdf", "%PDF new");
    const LinkItem repaired = fx.maintenance().repairFileLink(saved, fx.candidateAt(chosen));
    EXPECT_EQ(repaired.lastKnownPath, chosen);
    EXPECT_EQ(repaired.url, LocatorUrl::fileUrlText(chosen) + "#page=2");
    EXPECT_EQ(repaired.contentHash,
              fx.identity->makeIdentity(LocatorUrl::fileUrlText(chosen), true)->contentHash);
    EXPECT_EQ(fx.sqlite.fileLookups().localResolution(saved.id)->lastKnownPath, chosen);
    EXPECT_EQ(fx.count("SELECT confirmed_by_user FROM link_local_resolutions"), 1);
}

TEST(LinkMaintenance, RepairIssuesListOnlyFilesThatMoved)
{
    // Captured links, and links restored from a backup: paths only, no bookmark, size, fingerprint
    // or identity. The known root is reached through a link, so the scan names files by other paths.
    MaintenanceFixture fx;
    const QString settled = writeFile("docs/settled.txt", "settled");
    const QString moving = writeFile("docs/moving.txt", "moving");
    fx.writer().addCapturedContext(finderContext(*fx.identity, settled), {}, {});
    const LinkItem moved = fx.writer().addCapturedContext(finderContext(*fx.identity, moving), {}, {});
    renameFile(moving, "docs/Projects/moved.txt");
    fx.bareLink(LocatorUrl::fileUrlText(homePath("never-here.txt")));
    fx.writer().addLink({}, "https://example.com", {}, {});
    ASSERT_TRUE(QFile::link(homePath("docs"), homePath("linked")));
    for (const QString& path : {writeFile("docs/with space é.txt", "b"), homePath("docs/Projects/")}) {
        LinkItem restored = makeLink("restored", LocatorUrl::fileUrlText(path));
        restored.type = path.endsWith('/') ? LinkType::folder : LinkType::file; // a folder's final "/" kept
        restored.lastKnownPath = path;
        fx.sqlite.writes().insertLink(restored);
    }

    for (const QStringList& roots : {QStringList{}, QStringList{homePath("linked")}}) {
        const QList<FileRepairIssue> issues = fx.maintenance().fileRepairIssues(roots);
        ASSERT_EQ(issues.size(), 1);
        EXPECT_EQ(issues[0].item.id, moved.id);
    }
}
